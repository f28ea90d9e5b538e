// Fuzz target: a whole reading by TComP04 against a unit whose answers, silences and line failures come from
// the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "text/Format.h"
#include "link/Com_p04.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingSerialDevice.h"

namespace {

// The input, byte by byte, is what the reads find: 0xFD a read that times out,
// 0xFE k a read that fails with system error k + 1, 0xFC k makes the next k % 8
// writes fail with a system error (as on an unplugged adapter), any other byte
// is a byte the unit sent. Once the input is used up the line is silent.
void Script(fake::RecordingSerialDevice& line, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    if (b == 0xFD) {
      line.reads.push_back(fake::LineEvent::Silence());
    } else if (b == 0xFE || b == 0xFC) {
      const uint8_t k = i + 1 < size ? data[++i] : 0;
      line.reads.push_back(b == 0xFC ? fake::LineEvent::WritesFail(k % 8, 22)
                                     : fake::LineEvent::ReadFails(k + 1));
    } else {
      line.reads.push_back(b);
    }
  }
}

// The value of the hex pairs the unit sent from `from` on, or -1 when any
// character is no hex digit; pairs counts how many there must be.
long long PairsValue(const std::vector<uint8_t>& bytes, size_t from, size_t pairs, bool lowFirst) {
  if (bytes.size() - from != 2 * pairs) std::abort();  // a success consumed exactly its characters
  long long value = 0;
  for (size_t i = 0; i < pairs; ++i) {
    const int hi = ValueOfHexDigit(bytes[from + 2 * i]);
    const int lo = ValueOfHexDigit(bytes[from + 2 * i + 1]);
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
  // Close to the wrap of the tick count, which the deadlines must survive.
  fake::FakeClock clock(0xFFFFF000u);
  fake::RecordingSerialDevice line(clock);
  Script(line, data, size);
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
    // No call reached the system with a handle the link does not hold.
    Require(line.strayHandleCalls == 0);
    // A second session on the port given up just now opens it anew.
    if (link.Connect(2) == 0) Require(line.openHandles == 1 && link.Connected == 1);
  }
  Require(line.openHandles == 0);  // the destructor gave the port back
  Require(line.strayHandleCalls == 0);
  return 0;
}
