// The decorators that fit the link to a front end without a window.
#include "link/UnitLine.h"

Transfer TracingSerialDevice::Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) {
  const Transfer t = inner_.Write(h, byte, timeoutMs);
  if (t == Transfer::Moved && sink_) sink_(true, byte);
  return t;
}

Transfer TracingSerialDevice::Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) {
  const Transfer t = inner_.Read(h, byte, timeoutMs);
  if (t == Transfer::Moved && sink_) sink_(false, byte);
  return t;
}

bool StoppableSerialDevice::Stopped() {
  if (!stopped_ && stop_ && stop_()) stopped_ = true;
  return stopped_;
}

SerialHandle StoppableSerialDevice::Open(const char* path, const LineSettings& line) {
  if (Stopped()) return kInvalidSerialHandle;
  return inner_.Open(path, line);
}

Transfer StoppableSerialDevice::Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) {
  if (Stopped()) return Transfer::Failed;
  const Transfer t = inner_.Read(h, byte, timeoutMs);
  // A read that timed out or was broken off by the stop's signal: the stop is the news.
  if (t != Transfer::Moved && Stopped()) return Transfer::Failed;
  return t;
}

// Long enough that a bench of several fixtures, each pausing a second before
// every handshake, wakes a few hundred times a second rather than thousands;
// short enough that a pause ends at most a few milliseconds late.
constexpr uint32_t kYieldMs = 4;

uint32_t YieldingClock::TickCount() {
  if (stop_ && stop_()) {
    // Each look after the stop finds 4.6 hours gone since the one before: more
    // than any pause or deadline of the link, also one that began after the stop,
    // and 256 looks before the counter comes round again.
    constexpr uint32_t kLeap = 1u << 24;
    leapt_ += kLeap;
    return inner_.TickCount() + leapt_;
  }
  inner_.Sleep(kYieldMs);
  return inner_.TickCount();
}

UnitLine::UnitLine(SerialDevice& device, Clock& clock, const std::string& path, StopRequest stop,
                   TracingSerialDevice::Sink trace)
    : stoppable_(device, stop),
      trace_(stoppable_, std::move(trace)),
      ticks_(clock, stop),
      link_(trace_, ticks_) {
  link_.SetPortPath(path);
}
