// A serial device double: every call is recorded, reads and failures are scripted.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
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

  // Calls, in order: "Open \\.\COM2", "SetState 9600", "Write 80", "Read", ...
  std::vector<std::string> calls;
  // What the next reads find; an empty queue reads as a timeout of readTimeoutMs.
  std::deque<LineEvent> reads;
  // Every byte a read handed over.
  std::vector<uint8_t> delivered;
  // Handles open now, and calls that named a handle not open (a link that
  // kept a closed or dead handle).
  int openHandles = 0;
  int strayHandleCalls = 0;
  uint32_t readTimeoutMs = 1100;
  // Call name -> error code: the next call of that name fails with it (once).
  std::map<std::string, int32_t> failNext;
  // Call name -> {n, error}: the n-th next call of that name fails with it (once).
  std::map<std::string, std::pair<int, int32_t>> failNextAfter;
  // The next writes report success without moving their byte.
  int writesTimingOut = 0;

  SerialHandle Open(const char* path) override {
    calls.push_back(std::string("Open ") + path);
    if (Fails("Open")) return kInvalidSerialHandle;
    ++openHandles;
    return kHandle;
  }
  bool GetState(SerialHandle h, CommDcb& dcb) override {
    Check(h);
    calls.push_back("GetState");
    if (Fails("GetState")) return false;
    dcb = CommDcb{};
    dcb.BaudRate = 4800;  // the port's own settings, distinct from the link's
    return true;
  }
  bool SetState(SerialHandle h, const CommDcb& dcb) override {
    Check(h);
    calls.push_back("SetState " + std::to_string(dcb.BaudRate));
    return !Fails("SetState");
  }
  bool GetTimeouts(SerialHandle h, CommTimeouts& t) override {
    Check(h);
    calls.push_back("GetTimeouts");
    if (Fails("GetTimeouts")) return false;
    t = CommTimeouts{7, 7, 7, 7, 7};
    return true;
  }
  bool SetTimeouts(SerialHandle h, const CommTimeouts& t) override {
    Check(h);
    calls.push_back("SetTimeouts " + std::to_string(t.ReadTotalTimeoutConstant));
    return !Fails("SetTimeouts");
  }
  bool Purge(SerialHandle h, uint32_t flags) override {
    Check(h);
    calls.push_back("Purge " + std::to_string(flags));
    return !Fails("Purge");
  }
  bool Write(SerialHandle h, uint8_t byte, uint32_t& count) override {
    Check(h);
    char text[16];
    std::snprintf(text, sizeof text, "Write %02X", byte);
    calls.push_back(text);
    if (writesFailing_ > 0) {
      --writesFailing_;
      lastError = writeError_;
      count = 0;
      return false;
    }
    count = 1;
    if (writesTimingOut > 0) {
      --writesTimingOut;
      count = 0;
    }
    return !Fails("Write");
  }
  bool Read(SerialHandle h, uint8_t& byte, uint32_t& count) override {
    Check(h);
    calls.push_back("Read");
    count = 0;
    if (Fails("Read")) return false;
    while (!reads.empty() && reads.front().What == LineEvent::Kind::WritesFail) {
      writesFailing_ = reads.front().Value;
      writeError_ = reads.front().Error;
      reads.pop_front();
    }
    if (reads.empty() || reads.front().What == LineEvent::Kind::Silence) {
      if (!reads.empty()) reads.pop_front();
      clock_.Advance(readTimeoutMs);
      return true;
    }
    const LineEvent event = reads.front();
    reads.pop_front();
    if (event.What == LineEvent::Kind::ReadFails) {
      lastError = event.Error;
      return false;
    }
    byte = static_cast<uint8_t>(event.Value);
    delivered.push_back(byte);
    count = 1;
    return true;
  }
  bool Close(SerialHandle h) override {
    Check(h);
    calls.push_back("Close");
    // The handle is gone even when closing reports a failure, as with CloseHandle.
    if (h == kHandle && openHandles > 0) --openHandles;
    return !Fails("Close");
  }
  int32_t LastError() override { return lastError; }

  int32_t lastError = 0;

  // Queues the characters of a text as bytes the unit sends.
  void Answer(const std::string& text) {
    for (char c : text) reads.push_back(static_cast<uint8_t>(c));
  }

 private:
  static constexpr SerialHandle kHandle = 7;

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
