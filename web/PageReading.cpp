// The page's reading: the window's pane lines, the failure words, the repeat rule and the answer object.
#include "web/PageReading.h"

#include "link/ReadingPane.h"
#include "record/Expectations.h"
#include "record/OutcomeNames.h"
#include "record/ReadingMessages.h"
#include "record/RecordCodec.h"
#include "record/RepeatMemory.h"
#include "text/Format.h"
#include "text/TextCatalogue.h"
#include "text/Utf8.h"
#include "text/WebTexts.h"
#include "web/WebSerialDevice.h"

void TellFailure(ReadingRecord& record, uint32_t language, const std::string& portText) {
  const UnitReading& r = record.Reading;
  const std::string port = ValidUtf8(record.Port);
  const bool gone = r.Status == kWebPortGone;
  // Parity, framing, break or overrun: characters came, spoilt; the link's own word for that is a bad reply.
  if (r.Status == kWebLineGarbled) {
    record.Reading.Outcome = ReadingOutcome::LinkLost;
    record.Reading.Status = COMERR_BAD_REPLY;
    record.Message = Say(TXT_WEB_LINE_GARBLED, language, port.c_str());
    return;
  }
  if (r.Status == kWebWriteStuck) {
    record.Message = Say(TXT_WEB_WRITE_STUCK, language, port.c_str());
    return;
  }
  if (r.Outcome == ReadingOutcome::PortError) {
    if (r.Status == kWebPortBusy || r.Status == kWebPortAlreadyOpen) {
      record.Message = Say(r.Status == kWebPortBusy ? TXT_WEB_PORT_BUSY : TXT_WEB_PORT_ALREADY_OPEN, language,
                           port.c_str());
    } else if (r.Status == kWebPortDenied) {
      record.Message = Say(TXT_WEB_PORT_DENIED, language, port.c_str());
    } else if (gone) {
      record.Message = Say(TXT_WEB_PORT_UNPLUGGED, language, port.c_str());
    } else {
      record.Message = Say(TXT_WEB_PORT_FAILED, language, port.c_str(), ValidUtf8(portText).c_str());
    }
    return;
  }
  // Unplugged once the unit had answered: the link lost it, and the page says why.
  if (r.Outcome == ReadingOutcome::LinkLost && gone) {
    record.Message = Say(TXT_WEB_PORT_UNPLUGGED, language, port.c_str());
    return;
  }
  record.Message = FailureMessage(record, kPageWaitMs, language);
}

void MarkRepeat(ReadingRecord& record, double lastSerial, const RecordSeen& seenElsewhere) {
  RepeatMemory previous;
  if (lastSerial >= 0) {
    RecordSeen here;
    here.Fixture = record.Fixture;
    here.Port = record.Port;
    here.HasSerial = true;
    here.Serial = static_cast<uint32_t>(lastSerial);
    previous.Note(here);
  }
  // Seen last where it is read now, it is the place's own last serial number, noted above.
  const bool samePlace = record.Fixture.empty()
                             ? seenElsewhere.Fixture.empty() && seenElsewhere.Port == record.Port
                             : seenElsewhere.Fixture == record.Fixture;
  if (!samePlace) previous.Note(seenElsewhere);
  previous.Mark(record);
}

void CheckExpected(ReadingRecord& record, const std::string& software, const std::string& circuit,
                   uint32_t language) {
  Expectations expected;
  SoftwareVersion version;
  if (ParseSoftwareVersion(software, version)) expected.Software.push_back(version);
  int32_t board = 0;
  if (ParseCircuitVersion(circuit, board)) expected.Circuit.push_back(board);
  ApplyExpectations(expected, record, language);
}

std::string JsonLines(const std::vector<std::string>& lines) {
  std::string out = "[";
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? "," : "") + JsonString(lines[i]);
  return out + "]";
}

void PageReadingPane::Take(ReadingEvent event, const UnitReading& reading) {
  for (const std::string& line : PaneLines(event, reading, language_)) lines_.push_back(Utf8FromCp1252(line));
}

std::vector<std::string> PageReadingPane::Final(const UnitReading& reading) const {
  // A reading cut short did not happen: nothing of it stays in the pane.
  if (!reading.Connected || reading.Outcome == ReadingOutcome::Interrupted) return {};
  std::vector<std::string> lines = lines_;
  for (const std::string& line : ClosingLines(reading.Outcome, language_)) lines.push_back(Utf8FromCp1252(line));
  return lines;
}

std::string PageResult(const ReadingRecord& record, const std::vector<std::string>& pane) {
  const UnitReading& r = record.Reading;
  std::string out = "{\"outcome\":" + JsonString(RecordOutcomeName(record)) + ",\"pane\":" + JsonLines(pane);
  out += ",\"message\":" + JsonString(record.Message);
  if (r.Outcome == ReadingOutcome::Ok) {
    out += ",\"identity\":{\"serial\":" + JsonString(SerialText(r.Serial)) +
           ",\"circuit\":" + std::to_string(r.Circuit) + ",\"software\":" + JsonString(SoftwareText(r)) + "}";
  }
  // A reading that did not happen leaves no record, as on the command line.
  if (r.Outcome != ReadingOutcome::Interrupted) {
    out += ",\"json\":" + JsonString(RecordJson(record)) + ",\"csv\":" + JsonString(RecordCsv(record)) +
           ",\"csvSemicolon\":" + JsonString(RecordCsv(record, ';'));
  }
  return out + "}";
}
