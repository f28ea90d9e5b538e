// bravelle-cli read: one reading on one port, told on standard output, and appended to a log or CSV file.
#include <algorithm>

#include "cli/Commands.h"
#include "link/ReadingSequence.h"
#include "platform/Clock.h"
#include "record/Expectations.h"
#include "record/ReadingMessages.h"
#include "record/ReadingRecorder.h"
#include "record/RecordCodec.h"
#include "record/RepeatMemory.h"
#include "text/Utf8.h"

namespace {

// What one handshake needs at least: the link's one-second pause, and a moment for the answer. The
// release after a handshake cut short adds its own pauses (200 ms each), within half a second.
constexpr int64_t kOneAttemptMs = 1200;

// The files a reading is written to, opened before the port is touched.
struct ReadFiles {
  explicit ReadFiles(CliContext& cx)
      : trace(cx.Files, cx.Naming, cx.Terminal, OutputFile::Trace),
        log(cx.Files, cx.Naming, cx.Terminal, OutputFile::JsonLines),
        csv(cx.Files, cx.Naming, cx.Terminal, OutputFile::Csv, cx.Options.CsvSeparator) {}

  // 0, or the exit code of a file that cannot be opened.
  int Open(CliContext& cx) {
    const CliOptions& options = cx.Options;
    for (auto [file, path] : {std::pair<OutputFile*, const std::string*>{&trace, &options.Trace},
                              {&log, &options.Log},
                              {&csv, &options.Csv}}) {
      if (path->empty() || file->Open(*path)) continue;
      // A FIFO nobody reads holds the open until a signal ends it.
      if (StopRequested()) return ExitCodeOfSignal(StopSignal());
      return ReportCannotCreate(cx.Terminal, *file);
    }
    return 0;
  }

  OutputFile trace;
  OutputFile log;
  OutputFile csv;
};

// The reading sequence on the line, into the record; the waiting told on the progress line, and
// connected set once the unit answered the handshake.
void RunSequence(CliContext& cx, UnitLine& line, const std::string& port, const Stopwatch& start,
                 const StopRequest& stop, bool& connected, ReadingRecord& record) {
  ReadingPlan plan;
  plan.WaitMs = static_cast<uint32_t>(cx.Options.WaitMs);
  plan.Stop = stop;
  // The progress line would be glued to the trace's lines on standard error.
  const bool progress = cx.Options.Trace != "-";
  ReadingRecorder recorder(record, false);
  ReadingSequence reading(line.Link(), line.Ticks(), plan, [&](ReadingEvent event, const UnitReading& r) {
    recorder.Take(event, r);
    if (event == ReadingEvent::Attempt && progress)
      cx.Terminal.Progress(WaitingText(cx.Language, port, start.ElapsedMs(), r.Attempts - 1));
    if (event == ReadingEvent::Connected) {
      cx.Process.WakeWaitsAfter(0);
      connected = true;
    }
  });
  reading.Run();
}

// The reading itself, on a port another program does not hold: the handshake asked until the wait
// is over, then the unit read and let go.
void ReadUnit(CliContext& cx, SerialDevice& device, const std::string& port, OutputFile& trace,
              const Stopwatch& start, ReadingRecord& record) {
  TracingSerialDevice::Sink sink = [&](bool hostToUnit, uint8_t byte) {
    if (trace.IsOpen()) trace.WriteLine(TraceLine(start.ElapsedMs(), hostToUnit, byte));
  };
  // The wait ends when it says, also in the middle of a handshake: the attempt under way is cut
  // short, its pause and its read of the answer, and the release that follows waits for nothing.
  // One attempt always gets its pause and a moment for the answer.
  const int64_t limitMs = std::max<int64_t>(cx.Options.WaitMs, kOneAttemptMs);
  bool connected = false;
  bool timeUp = false;
  const StopRequest stop = [&] {
    if (StopRequested()) return true;
    if (!connected && start.ElapsedMs() >= limitMs) timeUp = true;
    return timeUp;
  };
  // A read of the answer blocks for up to 1.1 s: the system is asked to wake it when the time is up.
  cx.Process.WakeWaitsAfter(static_cast<uint32_t>(std::max<int64_t>(1, limitMs - start.ElapsedMs())));
  UnitLine line(device, cx.Ticks, cx.Naming.DevicePath(port), stop, sink);
  RunSequence(cx, line, port, start, stop, connected, record);
  cx.Process.WakeWaitsAfter(0);
  if (timeUp && !StopRequested() && record.Reading.Outcome == ReadingOutcome::Interrupted) {
    record.Reading.Outcome = ReadingOutcome::NoAnswer;
    record.Reading.Status = COMERR_TIMEOUT;
  }
  cx.Terminal.ClearProgress();
}

// The port chosen: held against other programs, read, and the record's failure words. The hold is
// the caller's to keep until the record is written and its hook has run.
void ReadChosenPort(CliContext& cx, const PortChoice& choice, OutputFile& trace, const Stopwatch& start,
                    ReadingRecord& record, std::unique_ptr<PortHold>& hold,
                    std::vector<std::string>& problem) {
  // The port's one name, whatever link or spelling chose it: the repeat flag and a reader go by it.
  record.Port = cx.Naming.CanonicalPort(choice.Port);
  record.Location = choice.Location;
  const std::unique_ptr<SerialDevice> device = cx.Ports.NewSerialDevice();
  int32_t held = 0;
  hold = cx.Locks.Hold(choice.Port, held);
  if (hold) {
    ReadUnit(cx, *device, choice.Port, trace, start, record);
  } else {
    // Another program holds it: its exclusive flag, or a live lock file.
    UnitReading& r = record.Reading;
    r.Outcome = ReadingOutcome::PortError;
    r.HasStatus = true;
    r.Status = held;
    r.Problem = device->ProblemOf(held);
    record.ElapsedMs = start.ElapsedMs();
  }
  RecordFailure(cx, record, cx.Options.WaitMs, problem);
  if (hold && ApplyExpectations(cx.Options.Expect, record, cx.Language)) problem.push_back(record.Message);
}

// The record's flags, then the files, then the screen and the hook: the screen never shows a result
// that the files lack. Returns the command's exit code.
int Conclude(CliContext& cx, const PortChoice& choice, ReadFiles& files, ReadingRecord& record,
             const std::vector<std::string>& problem) {
  const ReadingOutcome outcome = record.Reading.Outcome;
  // A reading that did not happen leaves no record.
  const bool happened = outcome != ReadingOutcome::Interrupted;
  bool written = true;
  if (happened) {
    // A unit read again on the same port is flagged as in a watch's log.
    RepeatMemory previous;
    previous.Merge(files.log.PreviousSerials());
    previous.Merge(files.csv.PreviousSerials());
    if (choice.Result == PortChoice::Chosen) previous.Alias(choice.Port, record.Port);
    previous.Mark(record);
    for (OutputFile* file : {&files.log, &files.csv})
      if (file->IsOpen() && !file->AppendRecord(record)) written = false;
  }
  if (written) {
    if (!cx.Options.Json) {
      for (const std::string& text : RecordLines(record, cx.Language)) cx.Terminal.Human(text);
    } else if (happened) {
      cx.Terminal.Out(RecordJson(record));
    }
    if (happened) RunHook(cx, record);
  }
  for (const std::string& text : problem) cx.Terminal.Err(text);
  if (const int failed = ReportWriteFailures(cx.Terminal, {&files.trace, &files.log, &files.csv}))
    return failed;
  // A stop that came once the unit was read takes nothing away from the reading.
  if (StopRequested() && outcome != ReadingOutcome::Ok) return ExitCodeOfSignal(StopSignal());
  if (record.Rejected != ReadingRecord::Rejection::None) return kExitRejected;
  return ExitCode(outcome);
}

}  // namespace

int RunRead(CliContext& cx) {
  const CliOptions& options = cx.Options;
  const Stopwatch start;
  ReadingRecord record;
  record.StartUnixMs = UnixMsNow();
  ReadFiles files(cx);
  if (const int failed = files.Open(cx)) return failed;

  PortSpec spec;
  ParsePortSpec(options.Ports.empty() ? "auto" : options.Ports[0], spec);
  if (!options.FixtureNames.empty()) record.Fixture = options.FixtureNames[0];
  const PortChoice choice = ChoosePort(cx.Naming, cx.Ports, spec);
  std::vector<std::string> problem;
  std::unique_ptr<PortHold> hold;
  if (choice.Result != PortChoice::Chosen) {
    RecordChoiceProblem(cx, spec, choice, record, problem);
    record.ElapsedMs = start.ElapsedMs();
  } else {
    ReadChosenPort(cx, choice, files.trace, start, record, hold, problem);
  }
  return Conclude(cx, choice, files, record, problem);
}
