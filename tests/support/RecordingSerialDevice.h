// A serial device double: every call is recorded, reads and failures are scripted.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/SerialDevice.h"
#include "tests/support/FakeClock.h"

namespace fake {

// What one read finds on the line: a byte the unit sent, a silence as long as the
// read's timeout, a failure with a system error, or (consuming no read) the
// adapter going bad so that the next writes fail.
struct LineEvent {
  enum class Kind { Byte, Silence, ReadFails, WritesFail };
  LineEvent(int byte) : Value(byte) {}  // NOLINT: the bytes a unit sends read best as plain numbers
  static LineEvent Silence() { return LineEvent(Kind::Silence, 0, 0); }
  static LineEvent ReadFails(int32_t error) { return LineEvent(Kind::ReadFails, 0, error); }
  static LineEvent WritesFail(int count, int32_t error) { return LineEvent(Kind::WritesFail, count, error); }

  Kind What = Kind::Byte;
  int Value = 0;  // the byte, or how many writes fail
  int32_t Error = 0;

 private:
  LineEvent(Kind kind, int value, int32_t error) : What(kind), Value(value), Error(error) {}
};

class RecordingSerialDevice : public SerialDevice {
 public:
  explicit RecordingSerialDevice(FakeClock& clock) : clock_(clock) { clock_.log = &calls; }

  // Calls, in order: "Open \\.\COM2", "Configure 19200", "Write 80", "Read", "Discard", "Close".
  std::vector<std::string> calls;
  // What the next reads find; an empty queue reads as a timeout.
  std::deque<LineEvent> reads;
  // Every byte a read handed over.
  std::vector<uint8_t> delivered;
  // Handles open now, and calls that named a handle not open (a link that
  // kept a closed or dead handle).
  int openHandles = 0;
  int strayHandleCalls = 0;
  // The line the port has now, and the longest wait a transfer asked for.
  LineSettings line{};
  uint32_t longestTimeoutMs = 0;
  // A silent read ends after this long: 0 for the timeout it asked for, less for
  // a driver that gives up early (the short read some USB adapters make).
  uint32_t silenceEndsAfterMs = 0;
  // Rates the driver refuses, as an adapter does one it cannot make (Open or Configure fails).
  std::set<uint32_t> refusedRates;
  static constexpr int32_t kRefused = 87;  // ERROR_INVALID_PARAMETER
  // Call name -> error code: the next call of that name fails with it (once).
  std::map<std::string, int32_t> failNext;
  // Call name -> {n, error}: the n-th next call of that name fails with it (once).
  std::map<std::string, std::pair<int, int32_t>> failNextAfter;
  // The next writes give up at their timeout without moving their byte.
  int writesTimingOut = 0;

  SerialHandle Open(const char* path, const LineSettings& settings) override {
    calls.push_back(std::string("Open ") + path);
    if (Fails("Open") || Refused(settings)) return kInvalidSerialHandle;
    line = settings;
    ++openHandles;
    return kHandle;
  }
  bool Configure(SerialHandle h, const LineSettings& settings) override {
    Check(h);
    calls.push_back("Configure " + std::to_string(settings.rate));
    if (Fails("Configure") || Refused(settings)) return false;
    line = settings;
    return true;
  }
  bool Discard(SerialHandle h) override {
    Check(h);
    calls.push_back("Discard");
    return !Fails("Discard");
  }
  Transfer Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) override {
    Check(h);
    Asked(timeoutMs);
    char text[16];
    std::snprintf(text, sizeof text, "Write %02X", byte);
    calls.push_back(text);
    if (writesFailing_ > 0) {
      --writesFailing_;
      lastError = writeError_;
      return Transfer::Failed;
    }
    if (Fails("Write")) return Transfer::Failed;
    if (writesTimingOut > 0) {
      --writesTimingOut;
      clock_.Advance(timeoutMs);
      return Transfer::TimedOut;
    }
    return Transfer::Moved;
  }
  Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) override {
    Check(h);
    Asked(timeoutMs);
    calls.push_back("Read");
    if (Fails("Read")) return Transfer::Failed;
    while (!reads.empty() && reads.front().What == LineEvent::Kind::WritesFail) {
      writesFailing_ = reads.front().Value;
      writeError_ = reads.front().Error;
      reads.pop_front();
    }
    if (reads.empty() || reads.front().What == LineEvent::Kind::Silence) {
      if (!reads.empty()) reads.pop_front();
      clock_.Advance(silenceEndsAfterMs != 0 ? silenceEndsAfterMs : timeoutMs);
      return Transfer::TimedOut;
    }
    const LineEvent event = reads.front();
    reads.pop_front();
    if (event.What == LineEvent::Kind::ReadFails) {
      lastError = event.Error;
      return Transfer::Failed;
    }
    byte = static_cast<uint8_t>(event.Value);
    delivered.push_back(byte);
    return Transfer::Moved;
  }
  bool Close(SerialHandle h) override {
    Check(h);
    calls.push_back("Close");
    // The handle is gone even when closing reports a failure, as with CloseHandle.
    if (h == kHandle && openHandles > 0) --openHandles;
    return !Fails("Close");
  }
  int32_t LastError() override { return lastError; }
  PortProblem ProblemOf(int32_t) override { return PortProblem::Other; }

  int32_t lastError = 0;

  // Queues the characters of a text as bytes the unit sends.
  void Answer(const std::string& text) {
    for (char c : text) reads.push_back(static_cast<uint8_t>(c));
  }

 private:
  static constexpr SerialHandle kHandle = 7;

  bool Refused(const LineSettings& settings) {
    if (refusedRates.count(settings.rate) == 0) return false;
    lastError = kRefused;
    return true;
  }
  void Asked(uint32_t timeoutMs) {
    if (timeoutMs > longestTimeoutMs) longestTimeoutMs = timeoutMs;
  }
  void Check(SerialHandle h) {
    if (h != kHandle || openHandles != 1) ++strayHandleCalls;
  }

  bool Fails(const std::string& name) {
    auto later = failNextAfter.find(name);
    if (later != failNextAfter.end() && --later->second.first == 0) {
      lastError = later->second.second;
      failNextAfter.erase(later);
      return true;
    }
    auto it = failNext.find(name);
    if (it == failNext.end()) return false;
    lastError = it->second;
    failNext.erase(it);
    return true;
  }
  FakeClock& clock_;
  int writesFailing_ = 0;
  int32_t writeError_ = 0;
};

}  // namespace fake
