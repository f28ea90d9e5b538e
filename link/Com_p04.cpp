// TComP04: the serial port channel over the SerialDevice seam (the unit's commands are in Com_p04Commands.cpp).
#include "link/Com_p04.h"

#include <cstdio>
#include <cstring>

#include "text/Format.h"
#include "text/TextCatalogue.h"

std::string GetDeviceName() { return Text(TXT_DEVICE_NAME); }

namespace {

constexpr uint32_t kDefaultRate = kUnitLine.rate;

bool IsSupportedRate(int32_t rate) {
  static const int32_t kRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int32_t r : kRates) {
    if (r == rate) return true;
  }
  return false;
}

char HexDigitOf(uint32_t nibble) {
  return static_cast<char>(nibble < 10 ? '0' + nibble : 'A' + (nibble - 10));
}

}  // namespace

int32_t TComP04::KeepDeviceError() {
  LastStatus = device_.LastError();
  return LastStatus;
}

bool TComP04::PortClosed() {
  if (IsOpen()) return false;
  LastStatus = COMERR_PORT_CLOSED;
  return true;
}

bool TComP04::NotConnected() {
  if (Connected != 0) return false;
  LastStatus = COMERR_NOT_CONNECTED;
  return true;
}

TComP04::TComP04(SerialDevice& device, Clock& clock) : device_(device), clock_(clock) {
  PortHandle = kInvalidSerialHandle;
  SetPortIndex(1);
  Line = kUnitLine;

  Connected = 0;
  LastStatus = 0;
}

TComP04::~TComP04() {
  Release();
  Close();
}

void TComP04::SetPortIndex(int32_t index) {
  // The "\\.\" prefix is what lets Windows open COM10 and above. Any index the
  // port list can give is formatted as it is: the buffer holds even the longest
  // int with its sign, so the text is never cut, and the sum is taken in 64 bits.
  char name[sizeof PortName];
  std::snprintf(name, sizeof name, "\\\\.\\COM%lld", static_cast<long long>(index) + 1);
  CloseForNewPath(name);
  std::memcpy(PortName, name, sizeof PortName);
  path_.clear();
}

void TComP04::SetPortPath(const std::string& path) {
  CloseForNewPath(path.c_str());
  path_ = path;
}

void TComP04::CloseForNewPath(const char* newPath) {
  // An open port under the old name would go on being read as if it were the
  // new one: let the unit go and close it, so the next handshake opens the port
  // chosen now. The caller sees no status from here.
  if (std::strcmp(newPath, DevicePath()) == 0 || !IsOpen()) return;
  const int32_t status = LastStatus;
  Close();
  LastStatus = status;
}

int32_t TComP04::Open() {
  if (Close() != 0) return LastStatus;

  // A rate chosen while the port was closed does not survive: the line opens at 9600.
  SetBaudRate(kDefaultRate);
  // A failed Open leaves nothing open: a handle kept after it would look like an
  // open port to the next Connect, which would then read with the port's own
  // timeouts (possibly none) and hang.
  PortHandle = device_.Open(DevicePath(), Line);
  if (PortHandle == kInvalidSerialHandle) return KeepDeviceError();
  LastStatus = 0;
  return LastStatus;
}

int32_t TComP04::Close() {
  if (!IsOpen()) {
    LastStatus = 0;
  } else {
    Release();
    // The handle is given up whatever the restoring says: on a port whose
    // adapter was unplugged every call fails, and a link that kept the dead
    // handle would never reach the unit plugged in next on the same COM port.
    // The device puts the port's own settings back first and reports the first failure.
    LastStatus = device_.Close(PortHandle) ? 0 : device_.LastError();
    PortHandle = kInvalidSerialHandle;
  }
  Connected = 0;
  return LastStatus;
}

int32_t TComP04::SetBaudRate(int32_t rate) {
  LastStatus = 0;
  Line.rate = IsSupportedRate(rate) ? static_cast<uint32_t>(rate) : kDefaultRate;
  if (IsOpen() && !device_.Configure(PortHandle, Line)) KeepDeviceError();
  return LastStatus;
}

int32_t TComP04::Purge() {
  if (PortClosed()) return LastStatus;
  // Bytes the unit is still sending during this second are thrown away with the rest.
  WaitMilliseconds(1000);
  LastStatus = device_.Discard(PortHandle) ? 0 : device_.LastError();
  return LastStatus;
}

void TComP04::WaitMilliseconds(uint32_t duration) {
  const uint32_t start = clock_.TickCount();
  while (static_cast<uint32_t>(clock_.TickCount() - start) < duration) {
  }
}

int32_t TComP04::KeepTransfer(Transfer transfer) {
  switch (transfer) {
    case Transfer::Failed:
      return KeepDeviceError();
    case Transfer::TimedOut:
      LastStatus = COMERR_TIMEOUT;
      break;
    case Transfer::Moved:
      LastStatus = 0;
      break;
  }
  return LastStatus;
}

// A write whose timeout ran out moved nothing; calling it sent would make the
// protocol wait for an answer to a command the unit never got.
int32_t TComP04::WriteByte(uint8_t value) {
  if (PortClosed()) return LastStatus;
  return KeepTransfer(device_.Write(PortHandle, value, kByteTimeoutMs));
}

int32_t TComP04::ReadByte(int32_t& value) {
  if (PortClosed()) return LastStatus;
  uint8_t byte = 0;
  if (KeepTransfer(device_.Read(PortHandle, byte, kByteTimeoutMs)) == 0) value = byte;
  return LastStatus;
}

int32_t TComP04::SendHexByte(uint32_t value) {
  if (WriteByte(static_cast<uint8_t>(HexDigitOf((value / 16) & 0x0F))) != 0) return LastStatus;
  return WriteByte(static_cast<uint8_t>(HexDigitOf(value % 16)));
}

int32_t TComP04::ReceiveHexByte(int32_t& value, bool acknowledge) {
  if (NotConnected()) return LastStatus;
  int32_t first = 0;
  int32_t second = 0;
  if (ReadByte(first) != 0) return LastStatus;
  if (acknowledge && WriteByte(ACK) != 0) return LastStatus;
  if (ReadByte(second) != 0) return LastStatus;
  if (acknowledge && WriteByte(ACK) != 0) return LastStatus;
  // Both characters are acknowledged before they are judged, so the unit stays
  // in step for the release that follows a garbled answer.
  LastStatus = DecodeHexPair(first, second, value);
  return LastStatus;
}

int32_t TComP04::DecodeHexPair(int32_t first, int32_t second, int32_t& value) {
  // Noise, a wrong rate or another device on the port all show up as characters
  // that are no hexadecimal digit; decoding them anyway would turn them into a
  // plausible-looking serial number.
  const int32_t high = ValueOfHexDigit(first);
  const int32_t low = ValueOfHexDigit(second);
  if (high < 0 || low < 0) return COMERR_BAD_REPLY;
  value = 16 * high + low;
  return 0;
}
