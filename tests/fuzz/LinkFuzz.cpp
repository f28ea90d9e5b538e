// Fuzz target: a whole reading by TComP04 against a unit whose answers, silences and line failures come from
// the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/Com_p04.h"

namespace {

// Time passes only when looked at or slept, so every pause ends at once.
class StepClock : public Clock {
 public:
  uint32_t TickCount() override { return now += 7; }
  void Sleep(uint32_t ms) override { now += ms; }
  uint32_t now = 0xFFFFF000u;  // close to the wrap, which the deadlines must survive
};

// Reads take the input's bytes in order. 0xFD is a read that times out, 0xFE k
// a read that fails with system error k + 1, 0xFC k makes the next k writes
// fail with a system error (as on an unplugged adapter). Once the input is
// used up the line is silent.
class ScriptedLine : public SerialDevice {
 public:
  ScriptedLine(const uint8_t* data, size_t size, StepClock& clock)
      : data_(data), size_(size), clock_(clock) {}

  std::vector<uint8_t> delivered;  // every byte a read handed over
  int openHandles = 0;

  SerialHandle Open(const char*) override {
    ++openHandles;
    return 3;
  }
  bool GetState(SerialHandle h, CommDcb& dcb) override {
    Check(h);
    dcb = CommDcb{};
    return true;
  }
  bool SetState(SerialHandle h, const CommDcb&) override { return Check(h); }
  bool GetTimeouts(SerialHandle h, CommTimeouts& t) override {
    Check(h);
    t = CommTimeouts{};
    return true;
  }
  bool SetTimeouts(SerialHandle h, const CommTimeouts&) override { return Check(h); }
  bool Purge(SerialHandle h, uint32_t) override { return Check(h); }
  bool Write(SerialHandle h, uint8_t, uint32_t& count) override {
    Check(h);
    count = 0;
    if (failingWrites_ > 0) {
      --failingWrites_;
      error_ = 22;
      return false;
    }
    count = 1;
    return true;
  }
  bool Read(SerialHandle h, uint8_t& byte, uint32_t& count) override {
    Check(h);
    count = 0;
    for (;;) {
      if (pos_ >= size_) {
        clock_.now += 1100;
        return true;
      }
      const uint8_t b = data_[pos_++];
      if (b == 0xFD) {
        clock_.now += 1100;
        return true;
      }
      if (b == 0xFE || b == 0xFC) {
        const uint8_t k = pos_ < size_ ? data_[pos_++] : 0;
        if (b == 0xFC) {
          failingWrites_ = k % 8;
          continue;
        }
        error_ = k + 1;
        return false;
      }
      byte = b;
      count = 1;
      delivered.push_back(b);
      return true;
    }
  }
  bool Close(SerialHandle h) override {
    Check(h);
    --openHandles;
    return true;
  }
  int32_t LastError() override { return error_; }

 private:
  // No call may reach the system with a handle the link does not hold.
  bool Check(SerialHandle h) {
    if (h != 3 || openHandles != 1) std::abort();
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  StepClock& clock_;
  size_t pos_ = 0;
  int failingWrites_ = 0;
  int32_t error_ = 0;
};

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value of the hex pairs the unit sent from `from` on, or -1 when any
// character is no hex digit; pairs counts how many there must be.
long long PairsValue(const std::vector<uint8_t>& bytes, size_t from, size_t pairs, bool lowFirst) {
  if (bytes.size() - from != 2 * pairs) std::abort();  // a success consumed exactly its characters
  long long value = 0;
  for (size_t i = 0; i < pairs; ++i) {
    const int hi = HexValue(bytes[from + 2 * i]);
    const int lo = HexValue(bytes[from + 2 * i + 1]);
    if (hi < 0 || lo < 0) return -1;
    const long long byte = hi * 16 + lo;
    value = lowFirst ? value | (byte << (8 * i)) : value * 256 + byte;
  }
  return value;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StepClock clock;
  ScriptedLine line(data, size, clock);
  {
    TComP04 link(line, clock);
    link.SetPortIndex(static_cast<int32_t>(size % 300));
    for (int attempt = 0; attempt < 3; ++attempt) {
      const int32_t status = link.Connect(1);
      Require(status == link.LastStatus);
      if (status == 0) {
        Require(link.Connected == 1 && !line.delivered.empty() && line.delivered.back() == RSP_CONNECTED);
        break;
      }
      Require(link.Connected == 0);
    }

    size_t mark = line.delivered.size();
    if (link.CheckUnitType() == 0) Require(PairsValue(line.delivered, mark, 3, false) == 0x503034);

    mark = line.delivered.size();
    uint32_t serial = 0;
    if (link.ReadSerialNumber(serial) == 0) Require(PairsValue(line.delivered, mark, 4, true) == serial);

    mark = line.delivered.size();
    int32_t circuit = -1;
    if (link.ReadCircuitVersion(circuit) == 0) Require(PairsValue(line.delivered, mark, 1, false) == circuit);

    mark = line.delivered.size();
    int32_t major = -1;
    int32_t minor = -1;
    if (link.ReadSoftwareVersion(major, minor) == 0)
      Require(PairsValue(line.delivered, mark, 2, false) == major * 256 + minor);

    link.SwitchUnitBaudRate(static_cast<int32_t>(clock.now % 300000));
    link.Release();
    link.Close();
    Require(!link.IsOpen() && link.Connected == 0);
    Require(line.openHandles == 0);
    // A second session on the port given up just now opens it anew.
    if (link.Connect(2) == 0) Require(line.openHandles == 1 && link.Connected == 1);
  }
  Require(line.openHandles == 0);  // the destructor gave the port back
  return 0;
}
