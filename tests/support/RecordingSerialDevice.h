// A serial device double: every call is recorded, reads and failures are scripted.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"
#include "tests/support/FakeClock.h"

namespace fake {

class RecordingSerialDevice : public SerialDevice {
 public:
  explicit RecordingSerialDevice(FakeClock& clock) : clock_(clock) { clock_.log = &calls; }

  // Calls, in order: "Open \\.\COM2", "SetState 9600", "Write 80", "Read", ...
  std::vector<std::string> calls;
  // Bytes the next reads return; an empty queue reads as a timeout of readTimeoutMs.
  std::deque<int> reads;
  uint32_t readTimeoutMs = 1100;
  // Call name -> error code: the next call of that name fails with it (once).
  std::map<std::string, int32_t> failNext;
  // The next writes report success without moving their byte.
  int writesTimingOut = 0;

  SerialHandle Open(const char* path) override {
    calls.push_back(std::string("Open ") + path);
    return Fails("Open") ? kInvalidSerialHandle : 7;
  }
  bool GetState(SerialHandle, CommDcb& dcb) override {
    calls.push_back("GetState");
    if (Fails("GetState")) return false;
    dcb = CommDcb{};
    dcb.BaudRate = 4800;  // the port's own settings, distinct from the link's
    return true;
  }
  bool SetState(SerialHandle, const CommDcb& dcb) override {
    calls.push_back("SetState " + std::to_string(dcb.BaudRate));
    return !Fails("SetState");
  }
  bool GetTimeouts(SerialHandle, CommTimeouts& t) override {
    calls.push_back("GetTimeouts");
    if (Fails("GetTimeouts")) return false;
    t = CommTimeouts{7, 7, 7, 7, 7};
    return true;
  }
  bool SetTimeouts(SerialHandle, const CommTimeouts& t) override {
    calls.push_back("SetTimeouts " + std::to_string(t.ReadTotalTimeoutConstant));
    return !Fails("SetTimeouts");
  }
  bool Purge(SerialHandle, uint32_t flags) override {
    calls.push_back("Purge " + std::to_string(flags));
    return !Fails("Purge");
  }
  bool Write(SerialHandle, uint8_t byte, uint32_t& count) override {
    char text[16];
    std::snprintf(text, sizeof text, "Write %02X", byte);
    calls.push_back(text);
    count = 1;
    if (writesTimingOut > 0) {
      --writesTimingOut;
      count = 0;
    }
    return !Fails("Write");
  }
  bool Read(SerialHandle, uint8_t& byte, uint32_t& count) override {
    calls.push_back("Read");
    if (Fails("Read")) return false;
    if (reads.empty()) {
      clock_.Advance(readTimeoutMs);
      count = 0;
      return true;
    }
    byte = static_cast<uint8_t>(reads.front());
    reads.pop_front();
    count = 1;
    return true;
  }
  bool Close(SerialHandle) override {
    calls.push_back("Close");
    return !Fails("Close");
  }
  int32_t LastError() override { return lastError; }

  int32_t lastError = 0;

  // Queues the characters of a text as bytes the unit sends.
  void Answer(const std::string& text) {
    for (char c : text) reads.push_back(static_cast<uint8_t>(c));
  }

 private:
  bool Fails(const std::string& name) {
    auto it = failNext.find(name);
    if (it == failNext.end()) return false;
    lastError = it->second;
    failNext.erase(it);
    return true;
  }
  FakeClock& clock_;
};

}  // namespace fake
