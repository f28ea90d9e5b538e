// What a LineSettings and a transfer's timeout become for the Windows serial API: a DCB and a COMMTIMEOUTS,
// in structures of the same layouts that build without <windows.h>, so the values can be checked anywhere.
#pragma once

#include <cstdint>

#include "platform/SerialDevice.h"

// The Windows DCB byte for byte (28 bytes).
struct CommDcb {
  uint32_t DCBlength;
  uint32_t BaudRate;
  uint32_t Flags;  // fBinary bit 0, fParity bit 1, ..., fRtsControl bits 12-13
  uint16_t wReserved;
  uint16_t XonLim;
  uint16_t XoffLim;
  uint8_t ByteSize;
  uint8_t Parity;
  uint8_t StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  uint16_t wReserved1;
};
static_assert(sizeof(CommDcb) == 28, "CommDcb must keep the layout of the Windows DCB");

// The Windows COMMTIMEOUTS.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout;
  uint32_t ReadTotalTimeoutMultiplier;
  uint32_t ReadTotalTimeoutConstant;
  uint32_t WriteTotalTimeoutMultiplier;
  uint32_t WriteTotalTimeoutConstant;
};

namespace dcbflag {
constexpr uint32_t Binary = 1u << 0;
constexpr uint32_t Parity = 1u << 1;
constexpr uint32_t DtrControlShift = 4;   // two bits; 1 is DTR_CONTROL_ENABLE
constexpr uint32_t RtsControlShift = 12;  // two bits; 1 is RTS_CONTROL_ENABLE
}  // namespace dcbflag

// No flow control, parity checked when the line has parity, and bytes with a
// parity error passed on as received (no error character). The XON/XOFF
// characters and limits are never used without flow control; they are the
// values this program has always set.
inline CommDcb DcbFor(const LineSettings& line) {
  CommDcb d{};
  d.DCBlength = sizeof(CommDcb);
  d.BaudRate = line.rate;
  d.Flags = dcbflag::Binary | (line.parity != Parity::None ? dcbflag::Parity : 0u) |
            (line.dtr ? 1u << dcbflag::DtrControlShift : 0u) |
            (line.rts ? 1u << dcbflag::RtsControlShift : 0u);
  d.XonLim = 100;
  d.XoffLim = 100;
  d.ByteSize = line.dataBits;
  d.Parity = static_cast<uint8_t>(line.parity);      // NOPARITY 0, ODD 1, EVEN 2, MARK 3, SPACE 4
  d.StopBits = static_cast<uint8_t>(line.stopBits);  // ONESTOPBIT 0, ONE5STOPBITS 1, TWOSTOPBITS 2
  d.XonChar = 0x01;
  d.XoffChar = 0x02;
  d.ErrorChar = 0x04;
  d.EofChar = 0x00;
  d.EvtChar = 0x03;
  return d;
}

// Windows waits multiplier x bytes + constant for a transfer; every transfer
// here is one byte, given up to 100 ms of its own and the rest as the constant,
// with 500 ms allowed between bytes.
inline CommTimeouts CommTimeoutsFor(uint32_t timeoutMs) {
  const uint32_t perByte = timeoutMs < 100 ? timeoutMs : 100;
  return CommTimeouts{500, perByte, timeoutMs - perByte, perByte, timeoutMs - perByte};
}
