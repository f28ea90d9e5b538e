// What read and watch share: exit codes, the records of failures and the lines a person reads.

#include "cli/Commands.h"
#include "record/OutcomeNames.h"
#include "record/ReadingMessages.h"
#include "record/RecordCodec.h"
#include "record/RecordTexts.h"
#include "text/Format.h"
#include "text/Utf8.h"

int ExitCode(ReadingOutcome outcome) {
  switch (outcome) {
    case ReadingOutcome::Ok:
      return 0;
    case ReadingOutcome::WrongUnit:
      return 1;
    case ReadingOutcome::NoAnswer:
      return 2;
    case ReadingOutcome::LinkLost:
      return 3;
    case ReadingOutcome::PortError:
      return 4;
    case ReadingOutcome::Interrupted:
      return ExitCodeOfSignal(StopSignal());
  }
  return 4;
}

int ExitCodeOfSignal(int signal) { return 128 + (signal > 0 ? signal : 2); }

void RecordChoiceProblem(CliContext& cx, const PortSpec& spec, const PortChoice& choice,
                         ReadingRecord& record, std::vector<std::string>& lines) {
  record.Reading.Outcome = ReadingOutcome::PortError;
  record.Reading.Problem = choice.Problem;
  lines = ChoiceProblemLines(spec, choice, cx.Language);
  if (!lines.empty()) record.Message = lines[0];
}

void RecordFailure(CliContext& cx, ReadingRecord& record, int64_t waitMs, std::vector<std::string>& lines) {
  lines.clear();
  const UnitReading& r = record.Reading;
  if (r.Outcome == ReadingOutcome::PortError) {
    lines = PortProblemReport(cx.Words, r.Problem, r.Status, record.Port, cx.Language);
    // The record says it on one line: the heading and the system's words.
    record.Message = lines[0] + (lines.size() > 1 ? " " + lines[1].substr(2) : "");
    return;
  }
  record.Message = FailureMessage(record, waitMs, cx.Language);
  if (!record.Message.empty()) lines.push_back(record.Message);
}

std::string WatchLine(const ReadingRecord& record, uint32_t language, bool withPort) {
  const UnitReading& r = record.Reading;
  std::string line = IsoTime(record.StartUnixMs) + "  ";
  if (!record.Fixture.empty()) line += record.Fixture + "  ";
  if (withPort) line += ValidUtf8(record.Port) + "  ";
  line += RecordOutcomeName(record);
  if (r.HasType && r.Outcome == ReadingOutcome::WrongUnit) line += "  type " + PrintableType(r.Type);
  if (r.HasSerial) line += "  " + SerialText(r.Serial);
  if (r.HasCircuit) line += "  " + Say(TXT_REC_LINE_CIRCUIT, language, static_cast<int>(r.Circuit));
  if (r.HasSoftware) line += "  " + Say(TXT_REC_LINE_SOFTWARE, language, SoftwareText(r).c_str());
  if (record.Repeat) line += "  (" + Say(TXT_CLI_READ_BEFORE, language) + ")";
  if (record.Duplicate) line += "  (" + Say(TXT_CLI_DUPLICATE, language) + ")";
  if (record.Rejected != ReadingRecord::Rejection::None) line += "  " + record.Message;
  return line;
}

void RunHook(CliContext& cx, const ReadingRecord& record) {
  const std::string& command = cx.Options.Exec;
  if (command.empty()) return;
  const std::string json = RecordJson(record);
  const UnitReading& r = record.Reading;
  const std::vector<std::pair<std::string, std::string>> env = {
      {"BRAVELLE_RECORD", json},
      {"BRAVELLE_OUTCOME", RecordOutcomeName(record)},
      {"BRAVELLE_SERIAL", r.HasSerial ? SerialText(r.Serial) : std::string()},
      {"BRAVELLE_FIXTURE", record.Fixture},
      {"BRAVELLE_PORT", ValidUtf8(record.Port)},
  };
  constexpr uint32_t kHookLimitMs = 30000;
  const int status = cx.Hooks.RunHook(command, env, json + "\n", kHookLimitMs);
  if (status == 0) return;
  const std::string what = status == HookRunner::kHookNotRun ? Say(TXT_CLI_HOOK_NOT_RUN, cx.Language)
                           : status == HookRunner::kHookTimedOut
                               ? Say(TXT_CLI_HOOK_TIMED_OUT, cx.Language, 30)
                               : Say(TXT_CLI_HOOK_STATUS, cx.Language, status);
  cx.Terminal.Err(Say(TXT_CLI_HOOK_FAILED, cx.Language, ValidUtf8(command).c_str(), what.c_str()));
}

std::string TraceLine(int64_t ms, bool hostToUnit, uint8_t byte) {
  return Format("%lld.%03lld %s %02X", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000),
                hostToUnit ? "H>U" : "U>H", byte);
}
