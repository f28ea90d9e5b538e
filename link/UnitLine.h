// One link for a front end without a window: the port by its device path, every byte reported, the
// pauses spent yielding the processor, and every wait cut short once a stop is requested.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/Com_p04.h"
#include "platform/Clock.h"
#include "platform/SerialDevice.h"

// Asked between and inside the link's waits; true once the reading must end.
using StopRequest = std::function<bool()>;

// Passes every call on to another device.
class ForwardingSerialDevice : public SerialDevice {
 public:
  explicit ForwardingSerialDevice(SerialDevice& inner) : inner_(inner) {}
  SerialHandle Open(const char* path, const LineSettings& line) override { return inner_.Open(path, line); }
  bool Configure(SerialHandle h, const LineSettings& line) override { return inner_.Configure(h, line); }
  Transfer Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) override {
    return inner_.Write(h, byte, timeoutMs);
  }
  Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) override {
    return inner_.Read(h, byte, timeoutMs);
  }
  bool Discard(SerialHandle h) override { return inner_.Discard(h); }
  bool Close(SerialHandle h) override { return inner_.Close(h); }
  int32_t LastError() override { return inner_.LastError(); }
  PortProblem ProblemOf(int32_t code) override { return inner_.ProblemOf(code); }

 protected:
  SerialDevice& inner_;
};

// Reports each byte that really moved: a write that timed out sent nothing, a
// read that timed out received nothing.
class TracingSerialDevice : public ForwardingSerialDevice {
 public:
  using Sink = std::function<void(bool hostToUnit, uint8_t byte)>;
  TracingSerialDevice(SerialDevice& inner, Sink sink)
      : ForwardingSerialDevice(inner), sink_(std::move(sink)) {}
  Transfer Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) override;
  Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) override;

 private:
  Sink sink_;
};

// Once a stop is requested, nothing is read any more: a read fails at once with
// COMERR_STOPPED, also one the system broke off for the stop (a signal). Writes
// still go out, so that the release that follows reaches the unit.
class StoppableSerialDevice : public ForwardingSerialDevice {
 public:
  StoppableSerialDevice(SerialDevice& inner, StopRequest stop)
      : ForwardingSerialDevice(inner), stop_(std::move(stop)) {}
  SerialHandle Open(const char* path, const LineSettings& line) override;
  Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) override;
  int32_t LastError() override { return stopped_ ? COMERR_STOPPED : inner_.LastError(); }

 private:
  bool Stopped();
  StopRequest stop_;
  bool stopped_ = false;
};

// The link pauses one second before every handshake by reading the tick counter
// in a tight loop, which keeps a processor busy for that second; a bench repeats
// the handshake all day. Here each reading of the counter first gives the
// processor away for a few milliseconds: the pause still lasts at least as
// long, and costs next to nothing. Once a stop is requested the counter leaps ahead at
// every look, so that every pause and deadline is over at once.
class YieldingClock : public Clock {
 public:
  YieldingClock(Clock& inner, StopRequest stop) : inner_(inner), stop_(std::move(stop)) {}
  uint32_t TickCount() override;
  void Sleep(uint32_t milliseconds) override { inner_.Sleep(milliseconds); }

 private:
  Clock& inner_;
  StopRequest stop_;
  uint32_t leapt_ = 0;
};

// The link over one device, by path, built from the decorators above.
class UnitLine {
 public:
  UnitLine(SerialDevice& device, Clock& clock, const std::string& path, StopRequest stop,
           TracingSerialDevice::Sink trace = nullptr);
  TComP04& Link() { return link_; }
  Clock& Ticks() { return ticks_; }

 private:
  StoppableSerialDevice stoppable_;
  TracingSerialDevice trace_;
  YieldingClock ticks_;
  TComP04 link_;  // last: destroyed first, so the unit is released and the port closed through the others
};
