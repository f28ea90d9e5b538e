// bravelle-cli read: one reading on one port, told on standard output, and appended to a log or CSV file.
#include "cli/Commands.h"
#include "link/UnitReading.h"
#include "platform/Clock.h"
#include "text/Utf8.h"

int RunRead(CliContext& cx) {
  const CliOptions& options = cx.Options;
  const Stopwatch start;
  ReadingRecord record;
  record.StartUnixMs = UnixMsNow();

  OutputFile trace(cx.Platform, OutputFile::Trace);
  OutputFile log(cx.Platform, OutputFile::JsonLines);
  OutputFile csv(cx.Platform, OutputFile::Csv);
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
        trace.WriteLine(TraceLine(start.ElapsedMs(), hostToUnit, byte));
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
      if (progress)
        cx.Terminal.Progress(WaitingText(cx.Language, choice.Port, start.ElapsedMs(), attempt - 1));
    };
    record.Reading = ReadUnitIdentity(line.Link(), line.Ticks(), how);
    cx.Terminal.ClearProgress();
    RecordFailure(cx, record, options.WaitMs, problem);
  }
  record.ElapsedMs = start.ElapsedMs();
  const ReadingOutcome outcome = record.Reading.Outcome;

  if (outcome != ReadingOutcome::Interrupted) {
    // A unit read again on the same port is flagged as in a watch's log.
    RepeatMemory previous;
    previous.Merge(log.PreviousSerials());
    previous.Merge(csv.PreviousSerials());
    previous.Mark(record);
  }
  // A reading that did not happen leaves no record.
  if (options.Json) {
    if (outcome != ReadingOutcome::Interrupted) cx.Terminal.Out(RecordJson(record));
  } else {
    for (const std::string& text : RecordLines(record, cx.Language)) cx.Terminal.Out(text);
  }
  for (const std::string& text : problem) cx.Terminal.Err(text);
  if (outcome != ReadingOutcome::Interrupted) {
    if (log.IsOpen()) log.AppendRecord(record);
    if (csv.IsOpen()) csv.AppendRecord(record);
  }
  if (const int failed = ReportWriteFailures(cx.Terminal, {&trace, &log, &csv})) return failed;
  // A stop that came once the unit was read takes nothing away from the reading.
  if (StopRequested() && outcome != ReadingOutcome::Ok) return ExitCodeOfSignal(StopSignal());
  return ExitCode(outcome);
}
