// bravelle-cli read: one reading on one port, told on standard output, and appended to a log or CSV file.
#include <algorithm>

#include "cli/Commands.h"
#include "link/UnitReading.h"
#include "platform/Clock.h"
#include "record/Expectations.h"
#include "record/ReadingMessages.h"
#include "record/RecordCodec.h"
#include "record/RepeatMemory.h"
#include "text/Utf8.h"

namespace {

// What one handshake needs at least: the link's one-second pause, and a moment for the answer. The
// release after a handshake cut short adds its own pauses (200 ms each), within half a second.
constexpr int64_t kOneAttemptMs = 1200;

}  // namespace

int RunRead(CliContext& cx) {
  const CliOptions& options = cx.Options;
  const Stopwatch start;
  ReadingRecord record;
  record.StartUnixMs = UnixMsNow();

  OutputFile trace(cx.Platform, cx.Terminal, OutputFile::Trace);
  OutputFile log(cx.Platform, cx.Terminal, OutputFile::JsonLines);
  OutputFile csv(cx.Platform, cx.Terminal, OutputFile::Csv, options.CsvSeparator);
  for (auto [file, path] : {std::pair<OutputFile*, const std::string*>{&trace, &options.Trace},
                            {&log, &options.Log},
                            {&csv, &options.Csv}}) {
    if (path->empty() || file->Open(*path)) continue;
    // A FIFO nobody reads holds the open until a signal ends it.
    if (StopRequested()) return ExitCodeOfSignal(StopSignal());
    return ReportCannotCreate(cx.Terminal, *file, cx.Platform);
  }

  const PortSpec spec = [&] {
    PortSpec s;
    ParsePortSpec(options.Ports.empty() ? "auto" : options.Ports[0], s);
    return s;
  }();
  if (!options.FixtureNames.empty()) record.Fixture = options.FixtureNames[0];
  const PortChoice choice = ChoosePort(cx.Platform, spec);
  std::vector<std::string> problem;
  // Held until the reading is over and its line closed.
  std::unique_ptr<PortHold> hold;
  if (choice.Result != PortChoice::Chosen) {
    RecordChoiceProblem(cx, spec, choice, record, problem);
  } else if (int32_t held = 0; !(hold = cx.Platform.HoldPort(choice.Port, held))) {
    // Another program holds it: its exclusive flag, or a live lock file.
    // The port's one name, whatever link or spelling chose it: the repeat flag and a reader go by it.
    record.Port = cx.Platform.CanonicalPort(choice.Port);
    record.Location = choice.Location;
    record.Reading.Outcome = ReadingOutcome::PortError;
    record.Reading.HasStatus = true;
    record.Reading.Status = held;
    RecordFailure(cx, record, options.WaitMs, problem);
  } else {
    record.Port = cx.Platform.CanonicalPort(choice.Port);
    record.Location = choice.Location;
    // A unit that answers the handshake's request with a refusal is told apart from a silent one.
    bool asked = false;
    bool refused = false;
    TracingSerialDevice::Sink sink = [&](bool hostToUnit, uint8_t byte) {
      if (!hostToUnit && asked && byte == RSP_REFUSED) refused = true;
      asked = hostToUnit && byte == CMD_CONNECT;
      if (trace.IsOpen()) trace.WriteLine(TraceLine(start.ElapsedMs(), hostToUnit, byte));
    };
    // The wait ends when it says, also in the middle of a handshake: the attempt under way is cut
    // short, its pause and its read of the answer, and the release that follows waits for nothing.
    // One attempt always gets its pause and a moment for the answer.
    const int64_t limitMs = std::max<int64_t>(options.WaitMs, kOneAttemptMs);
    bool connected = false;
    bool timeUp = false;
    const StopRequest stop = [&] {
      if (StopRequested()) return true;
      if (!connected && start.ElapsedMs() >= limitMs) timeUp = true;
      return timeUp;
    };
    // A read of the answer blocks for up to 1.1 s: the system is asked to wake it when the time is up.
    cx.Platform.WakeWaitsAfter(static_cast<uint32_t>(std::max<int64_t>(1, limitMs - start.ElapsedMs())));
    // The progress line would be glued to the trace's lines on standard error.
    const bool progress = options.Trace != "-";
    const std::unique_ptr<SerialDevice> device = cx.Platform.NewSerialDevice();
    UnitLine line(*device, cx.Platform.Ticks(), cx.Platform.DevicePath(choice.Port), stop, sink);
    ReadingOptions how;
    how.Wait.WaitMs = static_cast<uint32_t>(options.WaitMs);
    how.Wait.Stop = stop;
    how.Wait.OnAttempt = [&](int32_t attempt) {
      if (progress)
        cx.Terminal.Progress(WaitingText(cx.Language, choice.Port, start.ElapsedMs(), attempt - 1));
    };
    how.OnStep = [&](const UnitReading&) {
      if (!connected) cx.Platform.WakeWaitsAfter(0);
      connected = true;
    };
    record.Reading = ReadUnitIdentity(line.Link(), line.Ticks(), how);
    cx.Platform.WakeWaitsAfter(0);
    if (timeUp && !StopRequested() && record.Reading.Outcome == ReadingOutcome::Interrupted) {
      record.Reading.Outcome = ReadingOutcome::NoAnswer;
      record.Reading.Status = COMERR_TIMEOUT;
    }
    record.Refused = refused && record.Reading.Outcome == ReadingOutcome::NoAnswer;
    cx.Terminal.ClearProgress();
    RecordFailure(cx, record, options.WaitMs, problem);
    if (ApplyExpectations(options.Expect, record, cx.Language)) problem.push_back(record.Message);
  }
  record.ElapsedMs = start.ElapsedMs();
  const ReadingOutcome outcome = record.Reading.Outcome;

  if (outcome != ReadingOutcome::Interrupted) {
    // A unit read again on the same port is flagged as in a watch's log.
    RepeatMemory previous;
    previous.Merge(log.PreviousSerials());
    previous.Merge(csv.PreviousSerials());
    if (choice.Result == PortChoice::Chosen) previous.Alias(choice.Port, record.Port);
    previous.Mark(record);
  }
  // A reading that did not happen leaves no record. The files first: the screen never shows a
  // result that they lack.
  bool written = true;
  if (outcome != ReadingOutcome::Interrupted) {
    for (OutputFile* file : {&log, &csv})
      if (file->IsOpen() && !file->AppendRecord(record)) written = false;
  }
  if (written) {
    if (options.Json) {
      if (outcome != ReadingOutcome::Interrupted) cx.Terminal.Out(RecordJson(record));
    } else {
      for (const std::string& text : RecordLines(record, cx.Language)) cx.Terminal.Human(text);
    }
    if (written && outcome != ReadingOutcome::Interrupted) RunHook(cx, record);
  }
  for (const std::string& text : problem) cx.Terminal.Err(text);
  if (const int failed = ReportWriteFailures(cx.Terminal, {&trace, &log, &csv})) return failed;
  // A stop that came once the unit was read takes nothing away from the reading.
  if (StopRequested() && outcome != ReadingOutcome::Ok) return ExitCodeOfSignal(StopSignal());
  if (record.Rejected != ReadingRecord::Rejection::None) return kExitRejected;
  return ExitCode(outcome);
}
