// What a reading says to a person: its lines, the wait, and what went wrong.
#include "record/ReadingMessages.h"

#include "record/RecordTexts.h"
#include "text/Format.h"
#include "text/Utf8.h"

std::vector<std::string> RecordLines(const ReadingRecord& record, uint32_t language) {
  const UnitReading& r = record.Reading;
  std::vector<std::string> lines;
  if (!record.Port.empty()) lines.push_back(Say(TXT_REC_LINE_PORT, language, ValidUtf8(record.Port).c_str()));
  if (r.HasType)
    lines.push_back(Say(TXT_REC_LINE_UNIT, language, Utf8FromCp1252(GetDeviceName()).c_str(),
                        PrintableType(r.Type).c_str()));
  if (r.HasSerial) lines.push_back(Say(TXT_REC_LINE_SERIAL, language, SerialText(r.Serial).c_str()));
  if (r.HasCircuit) lines.push_back(Say(TXT_REC_LINE_CIRCUIT, language, static_cast<int>(r.Circuit)));
  if (r.HasSoftware) lines.push_back(Say(TXT_REC_LINE_SOFTWARE, language, SoftwareText(r).c_str()));
  return lines;
}

std::string WaitingText(uint32_t language, const std::string& port, int64_t ms, int32_t attempts) {
  return Say(TXT_REC_WAITING, language, ValidUtf8(port).c_str(), static_cast<long long>(ms / 1000),
             static_cast<int>(attempts));
}

std::string FailureMessage(const ReadingRecord& record, int64_t waitMs, uint32_t language) {
  const UnitReading& r = record.Reading;
  const std::string port = ValidUtf8(record.Port);
  const std::string device = Utf8FromCp1252(GetDeviceName());
  switch (r.Outcome) {
    case ReadingOutcome::WrongUnit:
      return Say(TXT_REC_WRONG_UNIT, language, port.c_str(), PrintableType(r.Type).c_str(), device.c_str());
    case ReadingOutcome::NoAnswer:
      if (r.Refused) return Say(TXT_REC_REFUSED, language, port.c_str());
      return Say(TXT_REC_NO_ANSWER, language, port.c_str(),
                 Format("%g", static_cast<double>(waitMs) / 1000).c_str());
    case ReadingOutcome::LinkLost:
      return Say(r.Status == COMERR_BAD_REPLY ? TXT_REC_BAD_REPLY : TXT_REC_LINK_LOST, language,
                 static_cast<int>(r.Status));
    case ReadingOutcome::Interrupted:
      return Say(TXT_REC_INTERRUPTED, language);
    default:
      return std::string();
  }
}
