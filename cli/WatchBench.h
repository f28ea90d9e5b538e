// What a watch's fixtures share: the port list read once a tick, the output, the files and the repeat
// flags.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "record/RepeatMemory.h"

// How often a fixture without its port looks for it again: a unit plugged in
// is read a tenth of a second later on average, for a look that costs a stat
// (a named port) or a walk of sysfs (auto, usb:, location=).
constexpr uint32_t kPollMs = 200;

// The system's port list read at most once a tick, whichever fixtures ask: eight fixtures waiting for
// their adapters walk sysfs and /dev/serial once every 200 ms together, not eight times; and while the
// system says no port came or went, once every two seconds only.
class TickPortList : public PortLister {
 public:
  explicit TickPortList(PortAccess& ports) : access_(ports) {}
  bool ListPorts(std::vector<PortInfo>& ports) override;

 private:
  static constexpr int64_t kStillMs = 2000;
  PortAccess& access_;
  std::vector<PortInfo> ports_;
  std::string stamp_;
  bool listed_ = false;
  bool read_ = false;
  Stopwatch age_;
};

// What the fixtures share: the output, the files, the repeat flags, and the port list.
class Bench {
 public:
  Bench(CliContext& cx, OutputFile& log, OutputFile& csv, size_t fixtures)
      : cx_(cx), log_(log), csv_(csv), ports_(cx.Ports), states_(fixtures) {
    for (const OutputFile* file : {&log_, &csv_}) previous_.Merge(file->PreviousSerials());
  }

  CliContext& Context() { return cx_; }
  bool Several() const { return states_.size() > 1; }
  // A record that could not be written, or standard output lost: every fixture stops.
  bool Failed() const { return failed_; }
  bool ShouldStop() const { return failed_ || countReached_ || StopRequested(); }
  void Stop(int exitCode) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (exitCode_ == 0) exitCode_ = exitCode;
    failed_ = true;
  }
  int ExitCodeSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return exitCode_;
  }
  // The port list is one object of the system's: one fixture at a time looks at it.
  std::mutex& PortListLock() { return portList_; }
  PortLister& Ports() { return ports_; }

  // Appends the record to the files, then tells it on standard output; false when it could not be written.
  bool Publish(ReadingRecord& record, const std::string& givenPort);

  // One fixture's state on the progress line; with several, all of them side by side.
  void Show(size_t fixture, const std::string& state);

 private:
  CliContext& cx_;
  OutputFile& log_;
  OutputFile& csv_;
  std::mutex mutex_;
  std::mutex portList_;
  TickPortList ports_;
  RepeatMemory previous_;
  std::vector<std::string> states_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> countReached_{false};
  int64_t published_ = 0;
  int exitCode_ = 0;
};
