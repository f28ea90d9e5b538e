// The DCB and COMMTIMEOUTS bytes the Windows device hands the system for a line and a transfer's timeout.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "win32/CommSettings.h"

namespace {

std::vector<uint8_t> BytesOf(const CommDcb& dcb) {
  std::vector<uint8_t> bytes(sizeof dcb);
  std::memcpy(bytes.data(), &dcb, sizeof dcb);
  return bytes;
}

}  // namespace

TEST(CommSettings, DcbOfEachLine) {
  struct Case {
    LineSettings line;
    std::vector<uint8_t> dcb;
  };
  const Case cases[] = {
      // The unit's line: flag word 0x1003 (binary, parity, RTS enabled, DTR disabled).
      {kUnitLine, {28,  0, 0,   0, 0x80, 0x25, 0, 0,    0x03, 0x10, 0,    0,    0, 0,
                   100, 0, 100, 0, 8,    2,    0, 0x01, 0x02, 0x04, 0x00, 0x03, 0, 0}},
      // The unit's line after a switch to 115200.
      {{115200, 8, Parity::Even, StopBits::One, false, true},
       {28,  0, 0,   0, 0x00, 0xC2, 0x01, 0,    0x03, 0x10, 0,    0,    0, 0,
        100, 0, 100, 0, 8,    2,    0,    0x01, 0x02, 0x04, 0x00, 0x03, 0, 0}},
      // No parity: no parity checking; DTR on, RTS off; 7 data bits, odd parity, two stop bits.
      {{19200, 8, Parity::None, StopBits::One, true, false},
       {28,  0, 0,   0, 0x00, 0x4B, 0, 0,    0x11, 0x00, 0,    0,    0, 0,
        100, 0, 100, 0, 8,    0,    0, 0x01, 0x02, 0x04, 0x00, 0x03, 0, 0}},
      {{2400, 7, Parity::Odd, StopBits::Two, false, false},
       {28,  0, 0,   0, 0x60, 0x09, 0, 0,    0x03, 0x00, 0,    0,    0, 0,
        100, 0, 100, 0, 7,    1,    2, 0x01, 0x02, 0x04, 0x00, 0x03, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(BytesOf(DcbFor(c.line)), c.dcb) << c.line.rate;

  // One byte within 1100 ms: 500 between bytes, 100 per byte and 1000 more, both ways.
  const CommTimeouts t = CommTimeoutsFor(kByteTimeoutMs);
  EXPECT_EQ(
      (std::vector<uint32_t>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                             t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant}),
      (std::vector<uint32_t>{500, 100, 1000, 100, 1000}));
}
