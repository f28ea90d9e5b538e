// bravelle-cli read: one reading on one port, told on standard output, and appended to a log or CSV file.
#include <chrono>

#include "cli/Commands.h"
#include "link/UnitReading.h"
#include "text/Utf8.h"

namespace {

using Steady = std::chrono::steady_clock;

int64_t MsSince(Steady::time_point from) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - from).count();
}

}  // namespace

int RunRead(CliContext& cx) {
  const CliOptions& options = cx.Options;
  const Steady::time_point start = Steady::now();
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
  if (choice.Result != PortChoice::Chosen) {
    RecordChoiceProblem(cx, spec, choice, record, problem);
  } else {
    record.Port = choice.Port;
    record.Location = choice.Location;
    TracingSerialDevice::Sink sink;
    if (trace.IsOpen()) {
      sink = [&](bool hostToUnit, uint8_t byte) {
        trace.WriteLine(TraceLine(MsSince(start), hostToUnit, byte));
      };
    }
    // The progress line would be glued to the trace's lines on standard error.
    const bool progress = options.Trace != "-";
    const std::unique_ptr<SerialDevice> device = cx.Platform.NewSerialDevice();
    UnitLine line(*device, cx.Platform.Ticks(), cx.Platform.DevicePath(choice.Port), StopRequested, sink);
    ReadingOptions how;
    how.Wait.WaitMs = static_cast<uint32_t>(options.WaitMs);
    how.Wait.Stop = StopRequested;
    how.Wait.OnAttempt = [&](int32_t attempt) {
      if (progress) cx.Terminal.Progress(WaitingText(cx.Language, choice.Port, MsSince(start), attempt - 1));
    };
    record.Reading = ReadUnitIdentity(line.Link(), line.Ticks(), how);
    cx.Terminal.ClearProgress();
    RecordFailure(cx, record, options.WaitMs, problem);
    if (ApplyExpectations(options.Expect, record, cx.Language)) problem.push_back(record.Message);
  }
  record.ElapsedMs = MsSince(start);
  const ReadingOutcome outcome = record.Reading.Outcome;

  if (outcome != ReadingOutcome::Interrupted) {
    // A unit read again on the same port is flagged as in a watch's log.
    RepeatMemory previous;
    previous.Merge(log.PreviousSerials());
    previous.Merge(csv.PreviousSerials());
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
