// Test doubles of the serial device and clock: every call is recorded, reads and failures are scripted.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "link/Clock.h"
#include "link/SerialDevice.h"

// Time passes only when someone looks at it or sleeps, so busy waits end at once.
class FakeClock : public Clock {
 public:
  uint32_t TickCount() override { return now++; }
  void Sleep(uint32_t ms) override {
    now += ms;
    if (log != nullptr) log->push_back("Sleep " + std::to_string(ms));
  }
  uint32_t now = 0;
  std::vector<std::string>* log = nullptr;
};

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
  // Call name -> {n, error}: the n-th next call of that name fails with it (once).
  std::map<std::string, std::pair<int, int32_t>> failNextAfter;
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
      clock_.now += readTimeoutMs;
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
};
