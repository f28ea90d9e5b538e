// bravelle-cli watch: every fixture (one port each) watched at once, each unit plugged in read once,
// one record per unit appended to the log and the CSV file, until a stop.
#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/Commands.h"
#include "cli/WatchBench.h"
#include "link/ReadingSequence.h"
#include "platform/Clock.h"
#include "record/Expectations.h"
#include "record/OutcomeNames.h"
#include "record/ReadingMessages.h"
#include "record/ReadingRecorder.h"
#include "record/RecordTexts.h"
#include "record/RepeatMemory.h"
#include "text/Utf8.h"

namespace {

// One port and the units plugged into it, one after the other.
class Fixture {
 public:
  Fixture(Bench& bench, const PortSpec& spec, std::string name, size_t index)
      : bench_(bench), cx_(bench.Context()), spec_(spec), name_(std::move(name)), index_(index) {}

  void Run() {
    const StopRequest stop = [this] { return bench_.ShouldStop(); };
    while (!bench_.ShouldStop()) {
      if (!line_ && !FindPort(stop)) continue;
      ReadingRecord record;
      Read(stop, record);
      const UnitReading& r = record.Reading;
      // A reading cut short by the stop did not happen; the close below lets the unit go.
      if (r.Outcome == ReadingOutcome::Interrupted || bench_.ShouldStop()) break;
      if (r.Outcome == ReadingOutcome::PortError) {
        PortFailed(r.Problem, r.Status);
        continue;
      }
      std::vector<std::string> lines;
      RecordFailure(cx_, record, 0, lines);
      ApplyExpectations(cx_.Options.Expect, record, cx_.Language);
      WriteTrace(record);
      if (bench_.Publish(record, port_)) RunHook(cx_, record);
      Show(Say(TXT_CLI_FIXTURE_PRESENT, cx_.Language, Label().c_str()));
      WaitUntilGone(stop);
    }
    // One release, then the port's own settings back and the port closed: the
    // link's destructor would release again (and Close once more) for a unit
    // whose release answer the stop cut off.
    if (line_) line_->Link().Close();
    Drop();
  }

 private:
  void Show(const std::string& state) { bench_.Show(index_, state); }
  // The line, its device, then the port's lock: the unit released and the port restored before the
  // lock says it is free.
  void Drop() {
    line_.reset();
    device_.reset();
    hold_.reset();
  }
  // How the person knows the fixture: its name, else its port.
  std::string Label() const { return name_.empty() ? ValidUtf8(port_) : name_; }

  // Waits for a unit, reads it and lets it go, keeping the port open: the record from the handshake
  // that reached the unit. A unit that refuses the handshake is told once, until it stops refusing.
  void Read(const StopRequest& stop, ReadingRecord& record) {
    const Stopwatch waitStart;
    record.Fixture = name_;
    record.Port = cx_.Naming.CanonicalPort(port_);
    record.Location = location_;
    ReadingPlan plan;
    plan.Deadline = false;
    plan.After = AfterReading::Release;
    plan.Stop = stop;
    ReadingRecorder recorder(record, true);
    ReadingSequence reading(
        line_->Link(), line_->Ticks(), plan, [&](ReadingEvent event, const UnitReading& r) {
          recorder.Take(event, r);
          switch (event) {
            case ReadingEvent::Attempt:
              trace_.clear();
              traceStart_.Restart();
              Show(r.Refusing ? Say(TXT_REC_UNIT_REFUSES, cx_.Language, Label().c_str())
                              : WaitingText(cx_.Language, Label(), waitStart.ElapsedMs(), r.Attempts - 1));
              break;
            case ReadingEvent::Refused:
              // No reading took place, as for a port that cannot be used: said, never recorded.
              cx_.Terminal.Err(Say(TXT_REC_REFUSED, cx_.Language, Label().c_str()));
              Show(Say(TXT_REC_UNIT_REFUSES, cx_.Language, Label().c_str()));
              break;
            case ReadingEvent::Connected:
              reported_ = 0;
              Show(Say(TXT_CLI_FIXTURE_READING, cx_.Language, Label().c_str()));
              break;
            default:
              break;
          }
        });
    reading.Run();
  }

  // --trace-dir: the bytes of this reading's handshake and reading, in a file of its own.
  void WriteTrace(const ReadingRecord& record) {
    const std::string& dir = cx_.Options.TraceDir;
    if (dir.empty()) return;
    std::string stamp;
    for (char c : IsoTime(record.StartUnixMs))
      if (c != '-' && c != ':') stamp += c;
    std::string base = name_;
    if (base.empty()) base = port_.substr(port_.find_last_of("/\\") + 1);
    const UnitReading& r = record.Reading;
    const std::string path = dir + "/" + base + "-" +
                             (r.HasSerial ? SerialText(r.Serial) : std::string(RecordOutcomeName(record))) +
                             "-" + stamp + ".trace";
    OutputFile file(cx_.Files, cx_.Naming, cx_.Terminal, OutputFile::Trace);
    if (!file.Open(path) ||
        !file.WriteLine(trace_.empty() ? std::string() : trace_.substr(0, trace_.size() - 1))) {
      cx_.Terminal.Err(Say(TXT_CLI_CANNOT_WRITE, cx_.Language,
                           Say(TXT_CLI_THE_TRACE, cx_.Language, ValidUtf8(path).c_str()).c_str(),
                           file.ErrorText().c_str()));
    }
  }

  // The port the fixture's form names now; false (after a pause) while there is none.
  bool LookForPort(PortChoice& choice) {
    bool present = false;
    {
      std::lock_guard<std::mutex> lock(bench_.PortListLock());
      // A named port is looked for by itself; the list is read once it is there.
      if (spec_.Kind != PortSpec::Name || cx_.Ports.PortPresent(spec_.Text)) {
        choice = ChoosePort(cx_.Naming, spec_, bench_.Ports());
        present = choice.Result == PortChoice::Chosen && cx_.Ports.PortPresent(choice.Port);
      }
    }
    if (choice.Result == PortChoice::Ambiguous) {
      // Several ports that fit will not sort themselves out by waiting.
      std::vector<std::string> lines = ChoiceProblemLines(spec_, choice, cx_.Language);
      for (const std::string& text : lines) cx_.Terminal.Err(text);
      bench_.Stop(ExitCode(ReadingOutcome::PortError));
      return false;
    }
    if (!present) {
      Show(
          Say(TXT_CLI_FIXTURE_ABSENT, cx_.Language, (name_.empty() ? ValidUtf8(spec_.Text) : name_).c_str()));
      cx_.Process.Pause(kPollMs);
      return false;
    }
    return true;
  }

  // The port the fixture's form names now, held and opened; false (after a pause) while there is none
  // or another program holds it.
  bool FindPort(const StopRequest& stop) {
    PortChoice choice;
    if (!LookForPort(choice)) return false;
    port_ = choice.Port;
    location_ = choice.Location;
    device_ = cx_.Ports.NewSerialDevice();
    // Held by another program (its exclusive flag, a live lock file): told once, tried again.
    int32_t held = 0;
    hold_ = cx_.Locks.Hold(port_, held);
    if (!hold_) {
      PortFailed(device_->ProblemOf(held), held);
      return false;
    }
    TracingSerialDevice::Sink sink;
    if (!cx_.Options.TraceDir.empty()) {
      sink = [this](bool hostToUnit, uint8_t byte) {
        trace_ += TraceLine(traceStart_.ElapsedMs(), hostToUnit, byte) + "\n";
      };
    }
    line_ = std::make_unique<UnitLine>(*device_, cx_.Ticks, cx_.Naming.DevicePath(port_), stop, sink);
    return true;
  }

  // A port that is there but cannot be used (another program holds it, no
  // permission) is told once per cause: the watch goes on trying, as such a
  // cause is often mended while it waits. Not there, or gone under us: every
  // descriptor the system holds for it is let go.
  void PortFailed(PortProblem problem, int32_t status) {
    Drop();
    bool present = false;
    {
      std::lock_guard<std::mutex> lock(bench_.PortListLock());
      present = cx_.Ports.PortPresent(port_);
    }
    if (status != reported_ && present) {
      for (const std::string& text : PortProblemReport(cx_.Words, problem, status, port_, cx_.Language))
        cx_.Terminal.Err(text);
      reported_ = status;
    }
    cx_.Process.Pause(kPollMs);
  }

  // Until the unit read is gone: its port vanished or failed, or it no longer answers.
  void WaitUntilGone(const StopRequest& stop) {
    const UnitLeft left = WaitUntilUnitLeaves(line_->Link(), stop, [this] {
      std::lock_guard<std::mutex> lock(bench_.PortListLock());
      return cx_.Ports.PortPresent(port_);
    });
    if (left == UnitLeft::PortFailed) Drop();
  }

  Bench& bench_;
  CliContext& cx_;
  PortSpec spec_;
  std::string name_;
  size_t index_;
  std::string trace_;
  Stopwatch traceStart_;
  std::string port_;
  std::string location_;
  std::unique_ptr<PortHold> hold_;  // first: let go last
  std::unique_ptr<SerialDevice> device_;
  std::unique_ptr<UnitLine> line_;  // after the device: destroyed first, releasing the unit through it
  int32_t reported_ = 0;
};

// Ctrl+C and SIGTERM are how a bench ends a watch; a hang-up is not.
int StopCode() {
  const int signal = StopSignal();
  return signal == 0 || signal == SIGINT || signal == SIGTERM ? 0 : ExitCodeOfSignal(signal);
}

// Two fixtures on one device would talk over each other: a usage error, told; false when none do.
bool SameDeviceTwice(CliContext& cx, const std::vector<PortSpec>& specs) {
  for (size_t a = 0; a < specs.size(); ++a)
    for (size_t b = a + 1; b < specs.size(); ++b)
      if (specs[a].Kind == PortSpec::Name && specs[b].Kind == PortSpec::Name &&
          cx.Naming.SamePort(cx.Naming.DevicePath(specs[a].Text), cx.Naming.DevicePath(specs[b].Text))) {
        cx.Terminal.Err(Say(TXT_CLI_USAGE_ERROR, cx.Language,
                            Say(TXT_CLI_SAME_DEVICE, cx.Language, ValidUtf8(specs[a].Text).c_str(),
                                ValidUtf8(specs[b].Text).c_str())
                                .c_str()));
        return true;
      }
  return false;
}

// Every fixture until the stop, side by side: a thread each when there are several.
void RunFixtures(Bench& bench, const std::vector<PortSpec>& specs, const std::vector<std::string>& names) {
  std::vector<std::unique_ptr<Fixture>> fixtures;
  for (size_t i = 0; i < specs.size(); ++i)
    fixtures.push_back(
        std::make_unique<Fixture>(bench, specs[i], i < names.size() ? names[i] : std::string(), i));
  if (fixtures.size() == 1) {
    fixtures[0]->Run();
    return;
  }
  std::vector<std::thread> threads;
  for (auto& f : fixtures) threads.emplace_back([&f] { f->Run(); });
  for (std::thread& t : threads) t.join();
}

}  // namespace

int RunWatch(CliContext& cx) {
  const CliOptions& options = cx.Options;
  OutputFile log(cx.Files, cx.Naming, cx.Terminal, OutputFile::JsonLines);
  OutputFile csv(cx.Files, cx.Naming, cx.Terminal, OutputFile::Csv, options.CsvSeparator);
  std::vector<PortSpec> specs;
  for (const std::string& text : options.Ports.empty() ? std::vector<std::string>{"auto"} : options.Ports) {
    PortSpec spec;
    ParsePortSpec(text, spec);
    specs.push_back(spec);
  }
  // Before any file is touched.
  if (SameDeviceTwice(cx, specs)) return kExitUsage;
  for (auto [file, path] :
       {std::pair<OutputFile*, const std::string*>{&log, &options.Log}, {&csv, &options.Csv}}) {
    if (path->empty() || file->Open(*path)) continue;
    // A FIFO nobody reads holds the open until a signal ends it.
    if (StopRequested()) return StopCode();
    return ReportCannotCreate(cx.Terminal, *file);
  }
  Bench bench(cx, log, csv, specs.size());
  RunFixtures(bench, specs, options.FixtureNames);
  cx.Terminal.ClearProgress();
  const int failed = ReportWriteFailures(cx.Terminal, {&log, &csv});
  if (failed != 0) return failed;
  if (const int code = bench.ExitCodeSet()) return code;
  return StopCode();
}
