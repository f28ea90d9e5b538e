// TComP04: the serial port channel and the unit's command protocol, over the SerialDevice seam.
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

struct RateCode {
  int32_t rate;
  uint8_t code;
};

// The unit's own codes for the rates it can switch to; everything else asks for 9600.
constexpr RateCode kRateCodes[] = {{4800, 0xFF},   {14400, 0x56},  {19200, 0x40},
                                   {38400, 0x20},  {56000, 0x15},  {57600, 0x14},
                                   {115200, 0x0A}, {128000, 0x09}, {256000, 0x04}};

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
  // A window lets the system's messages in during the pause: the end of the session may have closed the port.
  if (PortClosed()) return LastStatus;
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

int32_t TComP04::Connect(int32_t timeoutSeconds) {
  Refused = false;
  if (!IsOpen() && Open() != 0) return LastStatus;

  const bool hasDeadline = timeoutSeconds != 0;
  const uint32_t limit = static_cast<uint32_t>(timeoutSeconds) * 1000u;
  const uint32_t start = clock_.TickCount();  // before the pause, which counts against it

  // Stale bytes a failed purge leaves are read past by the handshake; a broken port shows there too.
  Purge();
  LastStatus = 0;

  bool haveByte = false;
  int32_t lastByte = 0;
  bool timedOut = false;
  for (;;) {
    // A request that could not be written is judged without the deadline.
    if (AskOnce(haveByte, lastByte) && hasDeadline && static_cast<uint32_t>(clock_.TickCount() - start) >= limit)
      timedOut = true;
    if (timedOut || LastStatus != 0 || (haveByte && lastByte == RSP_CONNECTED)) break;
  }

  if (haveByte && lastByte == RSP_CONNECTED) {
    Connected = 1;
    LastStatus = 0;
  } else {
    Connected = 0;
    if (timedOut) LastStatus = COMERR_TIMEOUT;
  }
  return LastStatus;
}

bool TComP04::AskOnce(bool& haveByte, int32_t& lastByte) {
  const int32_t written = WriteByte(CMD_CONNECT);
  if (written != 0) {
    if (written != COMERR_TIMEOUT && written != COMERR_PORT_CLOSED) {
      // A system error on the request is the same news as one on its answer:
      // the port is gone or broken. Cleaning up lets the next Connect open it
      // anew; the write's status is still the one reported.
      DropPort();
      LastStatus = written;
    }
    return false;
  }
  int32_t answer = 0;
  const int32_t status = ReadByte(answer);
  if (status == 0) {
    haveByte = true;
    lastByte = answer;
    if (answer == RSP_REFUSED) {
      Refused = true;
      DropPort();
    }
  } else if (status == COMERR_TIMEOUT) {
    LastStatus = 0;  // a silent unit is simply asked again
  } else {
    DropPort();
  }
  return true;
}

void TComP04::DropPort() {
  Purge();
  Release();
  Close();
}

int32_t TComP04::Release() {
  if (PortClosed()) return LastStatus;
  // Whether or not the unit went back to 9600, it is sent the end command below.
  SwitchUnitBaudRate(kDefaultRate);
  clock_.Sleep(200);
  if (WriteByte(CMD_END) == 0) {
    int32_t answer = 0;
    if (ReadByte(answer) == 0) Connected = 0;
  }
  return LastStatus;
}

int32_t TComP04::SwitchUnitBaudRate(int32_t rate) {
  if (NotConnected()) return LastStatus;
  LastStatus = 0;
  uint8_t code = 0x81;
  uint32_t newRate = kDefaultRate;
  for (const RateCode& rc : kRateCodes) {
    if (rc.rate == rate) {
      code = rc.code;
      newRate = static_cast<uint32_t>(rc.rate);
    }
  }
  if (WriteByte(CMD_SET_BAUD) != 0) return LastStatus;
  if (SendHexByte(code) != 0) return LastStatus;
  int32_t answer = 0;
  if (ReadByte(answer) != 0) return LastStatus;
  if (answer == ACK) {
    // The unit's last byte at the old rate; what it carries is of no use.
    int32_t discarded = 0;
    ReadByte(discarded);
    Line.rate = newRate;
    // Reporting the switch as done when the host side refused it would leave the
    // two ends talking at different rates with no sign of why.
    LastStatus = 0;
    if (!device_.Configure(PortHandle, Line)) KeepDeviceError();
  } else {
    LastStatus = COMERR_BAD_REPLY;
  }
  return LastStatus;
}

int32_t TComP04::ReadUnitType(char* buffer) {
  if (NotConnected()) return LastStatus;
  if (WriteByte(CMD_READ_TYPE) != 0) return LastStatus;
  LastStatus = 0;
  for (int i = 0; i < 3 && LastStatus == 0; ++i) {
    int32_t value = 0;
    if (ReceiveHexByte(value, true) == 0) buffer[i] = static_cast<char>(value & 0xFF);
  }
  buffer[3] = '\0';
  return LastStatus;
}

bool TComP04::IsThisUnitType(const char* type) { return std::strcmp(type, "P04") == 0; }

int32_t TComP04::CheckUnitType() {
  if (NotConnected()) return LastStatus;
  char type[4] = {};
  if (ReadUnitType(type) != 0) return LastStatus;
  LastStatus = IsThisUnitType(type) ? 0 : COMERR_WRONG_UNIT;
  return LastStatus;
}

int32_t TComP04::ReadCircuitVersion(int32_t& value) {
  if (NotConnected()) return LastStatus;
  if (WriteByte(CMD_READ_CIRCUIT) != 0) return LastStatus;
  return ReceiveHexByte(value, true);
}

int32_t TComP04::ReadByteAt(int32_t address, int32_t& value) {
  if (NotConnected()) return LastStatus;
  // No acknowledgement comes between the command and its address.
  if (WriteByte(CMD_READ_BYTE) != 0) return LastStatus;
  if (SendHexByte(static_cast<uint32_t>(address)) != 0) return LastStatus;
  return ReceiveHexByte(value, true);
}

int32_t TComP04::ReadWordAt(int32_t address, int32_t& value) {
  if (NotConnected()) return LastStatus;
  int32_t low = 0;
  if (ReadByteAt(address, low) != 0) return LastStatus;
  value = low;
  int32_t high = 0;
  if (ReadByteAt(address + 1, high) != 0) return LastStatus;
  value = low + 256 * high;
  return LastStatus;
}

int32_t TComP04::ReadSerialNumber(uint32_t& value) {
  if (NotConnected()) return LastStatus;
  int32_t word = 0;
  if (ReadWordAt(120, word) != 0) return LastStatus;
  value = static_cast<uint32_t>(word);
  if (ReadWordAt(122, word) != 0) return LastStatus;
  value = value + 65536u * static_cast<uint32_t>(word);
  return LastStatus;
}

int32_t TComP04::ReadSoftwareVersion(int32_t& major, int32_t& minor) {
  if (NotConnected()) return LastStatus;
  if (ReadByteAt(126, major) != 0) return LastStatus;
  return ReadByteAt(127, minor);
}
