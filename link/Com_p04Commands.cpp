// TComP04: the unit's command protocol - the handshake, the release, the baud switch and the reads.
#include <cstring>

#include "link/Com_p04.h"

namespace {

constexpr uint32_t kDefaultRate = kUnitLine.rate;

struct RateCode {
  int32_t rate;
  uint8_t code;
};

// The unit's own codes for the rates it can switch to; everything else asks for 9600.
constexpr RateCode kRateCodes[] = {{4800, 0xFF},   {14400, 0x56},  {19200, 0x40},
                                   {38400, 0x20},  {56000, 0x15},  {57600, 0x14},
                                   {115200, 0x0A}, {128000, 0x09}, {256000, 0x04}};

}  // namespace

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
