// The window's complete reading, timed against the simulated unit on a pty.
//
// The window runs natively over the recording toolkit, whose timer is driven
// here on a real schedule modelled on a Windows timer: ticks fall on a grid of
// the interval from the moment the period (re)started, and a tick that falls
// due while a handler still runs is delivered as soon as it returns (at most
// one is pending). The link talks to the simulated unit over a pty through the
// POSIX serial backend and the real clock, so every byte really crosses a line.
#include "bench/WindowReading.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "forms/TDlgLectureInformation.h"
#include "posix/PosixClock.h"
#include "posix/PosixIdentity.h"
#include "posix/PosixSerialDevice.h"
#include "tests/support/FakePortRegistry.h"
#include "tests/support/FakeRecordFiles.h"
#include "tests/support/FakeSettingsStorage.h"
#include "tests/support/FakeToolkit.h"

namespace {

using Clock_ = std::chrono::steady_clock;

double Ms(Clock_::time_point from, Clock_::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The tick grid of one timer period: start time and interval, as the timer was last (re)started.
struct Period {
  double start = 0;
  double interval = 0;
  // The first grid point strictly after t.
  double NextAfter(double t) const {
    const double k = static_cast<double>(static_cast<long long>((t - start) / interval));
    return start + (k + 1) * interval;
  }
};

}  // namespace

// Replays the timer model with steps that cost nothing but their stated
// pauses: the least time a reading needs. Step 1 holds the handshake's
// one-second pause, step 6 the release's 200 ms.
double WindowReading::MandatedMs() {
  const double pauses[] = {0, 1000, 0, 0, 0, 0, 200};
  const Period p{0, 300};
  double due = p.NextAfter(0);
  double end = 0;
  for (int step = 1; step <= 6; ++step) {
    end = due + pauses[step];
    const double next = p.NextAfter(due);
    // A grid point passed while the step ran: that tick was pending.
    due = next <= end ? end : next;
  }
  return end;
}

struct WindowReading::Parts {
  explicit Parts(const std::string& portFolder)
      : serial(PosixSerialDevice::PortDirectory(portFolder)),
        registry(OnePort()),
        journal(records, storage, identity, "bench"),
        window(toolkit, serial, ticks, registry, locale, storage, journal) {}
  // One marked port, COM2, which is where the simulated unit's link points.
  static fake::FakePortRegistry OnePort() {
    fake::FakePortRegistry r;
    r.Add("\\Device\\Silabser0", "COM2");
    return r;
  }
  PosixSerialDevice serial;
  PosixClock ticks;
  fake::FakePortRegistry registry;
  fake::FakeTextLocale locale;
  fake::FakeSettingsStorage storage;
  fake::FakeToolkit toolkit;
  fake::FakeRecordFiles records;
  PosixIdentity identity;
  WindowJournal journal;
  TDlgLectureInformation window;
};

WindowReading::WindowReading(const std::string& portFolder) : parts_(std::make_unique<Parts>(portFolder)) {}

WindowReading::~WindowReading() = default;

bool WindowReading::Ready() const {
  return static_cast<fake::FakeButton&>(parts_->window.ButtonLectureInfo).IsEnabled();
}

WindowReadingResult WindowReading::ReadOnce() {
  TDlgLectureInformation& window = parts_->window;
  fake::FakeToolkit& toolkit = parts_->toolkit;
  auto& timer = static_cast<fake::FakeTimer&>(window.TimerGestConnection);
  auto& read = static_cast<fake::FakeButton&>(window.ButtonLectureInfo);
  const size_t linesBefore = window.MemoInformation.Lines().size();
  const Clock_::time_point t0 = Clock_::now();
  read.Click();
  Period period{0, static_cast<double>(timer.Interval())};
  int starts = timer.Starts();
  double due = period.NextAfter(0);
  int ticksRun = 0;
  while (!read.IsEnabled()) {
    const double now = Ms(t0, Clock_::now());
    if (now < due) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(due - now));
    timer.Fire();
    toolkit.DeliverPosted();
    ++ticksRun;
    const double after = Ms(t0, Clock_::now());
    if (timer.Starts() != starts) {
      starts = timer.Starts();
      period = {after, static_cast<double>(timer.Interval())};
      due = period.NextAfter(after);
    } else {
      const double next = period.NextAfter(due);
      due = next <= after ? after : next;
    }
    if (ticksRun > 100) break;
  }
  WindowReadingResult result;
  result.WallMs = Ms(t0, Clock_::now());
  result.Ticks = ticksRun;
  result.Complete = window.MemoInformation.Lines().size() == linesBefore + 14 && toolkit.ErrorBoxes.empty();
  return result;
}
