// The scripted unit's side of the protocol, one host byte at a time.
#include "tests/support/UnitOnSerialLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "link/Com_p04.h"

namespace fake {

namespace {

constexpr SerialHandle kHandle = 7;
constexpr int32_t kFileNotFound = 2;

std::string Hex(uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

uint8_t HexDigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return 0;
}

const char kDigits[] = "0123456789ABCDEF";

}  // namespace

UnitOnSerialLine::UnitOnSerialLine(fake::FakeClock& clock) : clock_(clock) {
  SetSerialNumber(305419896);
  SetSoftwareVersion(1, 12);
  portDcb_.DCBlength = sizeof(CommDcb);
  portDcb_.BaudRate = 115200;
  portTimeouts_.ReadIntervalTimeout = 42;
}

void UnitOnSerialLine::SetSerialNumber(uint32_t serial) {
  for (int i = 0; i < 4; ++i) Memory[120 + i] = static_cast<uint8_t>(serial >> (8 * i));
}

void UnitOnSerialLine::SetSoftwareVersion(uint8_t major, uint8_t minor) {
  Memory[126] = major;
  Memory[127] = minor;
}

std::string UnitOnSerialLine::TranscriptFrom(size_t from) const {
  std::string out;
  for (size_t i = from; i < Transcript.size(); ++i) {
    if (!out.empty()) out += ' ';
    out += Transcript[i];
  }
  return out;
}

size_t UnitOnSerialLine::Count(const std::string& entry) const {
  return static_cast<size_t>(std::count(Transcript.begin(), Transcript.end(), entry));
}

SerialHandle UnitOnSerialLine::Open(const char* path) {
  if (open_ || UnitPort != path) {
    lastError_ = kFileNotFound;
    return kInvalidSerialHandle;
  }
  open_ = true;
  ++OpenCount;
  const char* name = std::strrchr(path, '\\');
  Transcript.push_back(std::string("open ") + (name ? name + 1 : path));
  return kHandle;
}

bool UnitOnSerialLine::GetState(SerialHandle, CommDcb& dcb) {
  dcb = portDcb_;
  return true;
}
bool UnitOnSerialLine::SetState(SerialHandle, const CommDcb& dcb) {
  portDcb_ = dcb;
  return true;
}
bool UnitOnSerialLine::GetTimeouts(SerialHandle, CommTimeouts& t) {
  t = portTimeouts_;
  return true;
}
bool UnitOnSerialLine::SetTimeouts(SerialHandle, const CommTimeouts& t) {
  portTimeouts_ = t;
  return true;
}

bool UnitOnSerialLine::Purge(SerialHandle, uint32_t) {
  Transcript.push_back("purge");
  toHost_.clear();
  return true;
}

bool UnitOnSerialLine::Close(SerialHandle) {
  open_ = false;
  ++CloseCount;
  Transcript.push_back("close");
  if (OnClose) OnClose();
  return true;
}

bool UnitOnSerialLine::Write(SerialHandle, uint8_t byte, uint32_t& count) {
  Transcript.push_back(">" + Hex(byte));
  count = 1;
  OnHostByte(byte);
  return true;
}

bool UnitOnSerialLine::Read(SerialHandle, uint8_t& byte, uint32_t& count) {
  if (ReadsBeforeLineFails >= 0 && unitBytesRead_ >= ReadsBeforeLineFails) {
    lastError_ = LineError;
    count = 0;
    return false;
  }
  if (toHost_.empty()) {
    // A silent line: the read gives up after its total timeout.
    clock_.Advance(1100);
    count = 0;
    return true;
  }
  byte = toHost_.front();
  toHost_.pop_front();
  ++unitBytesRead_;
  Transcript.push_back("<" + Hex(byte));
  count = 1;
  return true;
}

void UnitOnSerialLine::Send(uint8_t byte) {
  if (!Present || AnswersLeft == 0) return;
  if (AnswersLeft > 0) --AnswersLeft;
  toHost_.push_back(byte);
}

void UnitOnSerialLine::SendHexValue(uint8_t value) {
  pendingHex_.push_back(static_cast<uint8_t>(kDigits[value >> 4]));
  pendingHex_.push_back(static_cast<uint8_t>(kDigits[value & 15]));
}

void UnitOnSerialLine::OnHostByte(uint8_t byte) {
  switch (expect_) {
    case Expect::Address:
    case Expect::RateCode:
      argument_.push_back(static_cast<char>(byte));
      if (argument_.size() < 2) return;
      if (expect_ == Expect::Address) {
        const uint8_t address = static_cast<uint8_t>(HexDigitValue(static_cast<uint8_t>(argument_[0])) * 16 +
                                                     HexDigitValue(static_cast<uint8_t>(argument_[1])));
        SendHexValue(Memory[address]);
        Send(pendingHex_.front());
        pendingHex_.pop_front();
      } else {
        // Accepts any rate; the second byte is the one the host discards.
        Send(ACK);
        Send(0x00);
      }
      expect_ = Expect::Command;
      argument_.clear();
      return;
    case Expect::Command:
      break;
  }

  if (byte == ACK) {
    if (!pendingHex_.empty()) {
      Send(pendingHex_.front());
      pendingHex_.pop_front();
    }
    return;
  }
  pendingHex_.clear();
  switch (byte) {
    case CMD_CONNECT:
      if (++connectsSeen_ > IgnoredConnects) Send(RSP_CONNECTED);
      break;
    case CMD_READ_TYPE:
      for (char c : Type) SendHexValue(static_cast<uint8_t>(c));
      Send(pendingHex_.front());
      pendingHex_.pop_front();
      break;
    case CMD_READ_CIRCUIT:
      SendHexValue(Circuit);
      Send(pendingHex_.front());
      pendingHex_.pop_front();
      break;
    case CMD_READ_BYTE:
      expect_ = Expect::Address;
      break;
    case CMD_SET_BAUD:
      expect_ = Expect::RateCode;
      break;
    case CMD_END:
      Send(CMD_END);
      break;
    default:
      break;
  }
}

}  // namespace fake
