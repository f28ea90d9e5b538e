// The simulated unit's protocol, independent of how the bytes travel.
#include "tools/simunit/UnitLogic.h"

namespace {

constexpr uint8_t kEnd = 0x04;
constexpr uint8_t kConnect = 0x80;
constexpr uint8_t kConnected = 0x81;
constexpr uint8_t kAck = 0x84;
constexpr uint8_t kRefused = 0x85;
constexpr uint8_t kReadType = 0x86;
constexpr uint8_t kReadCircuit = 0x87;
constexpr uint8_t kReadByte = 0x89;
constexpr uint8_t kSetBaud = 0x9E;

int ValueOfHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

}  // namespace

UnitLogic::UnitLogic() {
  SetSerialNumber(305419896);
  SetSoftwareVersion(1, 12);
}

void UnitLogic::SetSerialNumber(uint32_t serial) {
  for (int i = 0; i < 4; ++i) Memory[120 + i] = static_cast<uint8_t>(serial >> (8 * i));
}

void UnitLogic::SetSoftwareVersion(uint8_t major, uint8_t minor) {
  Memory[126] = major;
  Memory[127] = minor;
}

int UnitLogic::TakeRateSwitch() {
  const int code = rateSwitch_;
  rateSwitch_ = -1;
  return code;
}

void UnitLogic::Restart() {
  expect_ = Expect::Command;
  argument_.clear();
  pending_.clear();
  nextPending_ = 0;
  connectsSeen_ = 0;
  handshakeDone_ = false;
  rateSwitch_ = -1;
}

void UnitLogic::QueueValue(uint8_t value, bool garbled) {
  const char* digits = Lowercase ? "0123456789abcdef" : "0123456789ABCDEF";
  pending_.push_back(static_cast<uint8_t>(digits[value >> 4]));
  pending_.push_back(garbled ? static_cast<uint8_t>('G' + (value & 0x0F))
                             : static_cast<uint8_t>(digits[value & 0x0F]));
}

void UnitLogic::SendNextCharacter(std::vector<uint8_t>& out) {
  if (nextPending_ < pending_.size()) out.push_back(pending_[nextPending_++]);
}

std::vector<uint8_t> UnitLogic::OnHostByte(uint8_t byte) {
  std::vector<uint8_t> out;
  if (Silent || (SilentAfterHandshake && handshakeDone_)) return out;

  if (expect_ != Expect::Command) {
    argument_.push_back(static_cast<char>(byte));
    if (argument_.size() < 2) return out;
    const uint8_t value =
        static_cast<uint8_t>(ValueOfHexDigit(argument_[0]) * 16 + ValueOfHexDigit(argument_[1]));
    if (expect_ == Expect::Address) {
      QueueValue(Memory[value], GarbleMemory);
      SendNextCharacter(out);
    } else if (RefuseBaud) {
      out.push_back(kRefused);
    } else {
      out.push_back(kAck);
      out.push_back(BaudTrailer);
      rateSwitch_ = value;
    }
    expect_ = Expect::Command;
    argument_.clear();
    return out;
  }

  if (byte == kAck) {
    SendNextCharacter(out);  // nothing when no value is under way: a stray ACK is ignored
    return out;
  }
  // Any other byte ends a value under way: the host gave up on it.
  pending_.clear();
  nextPending_ = 0;
  switch (byte) {
    case kConnect:
      ++connectsSeen_;
      if (RefuseConnect) {
        out.push_back(kRefused);
      } else if (connectsSeen_ > IgnoredConnects) {
        out.push_back(kConnected);
        handshakeDone_ = true;
      }
      break;
    case kReadType:
      for (char c : Type) QueueValue(static_cast<uint8_t>(c));
      SendNextCharacter(out);
      break;
    case kReadCircuit:
      QueueValue(Circuit);
      SendNextCharacter(out);
      break;
    case kReadByte:
      expect_ = Expect::Address;
      break;
    case kSetBaud:
      expect_ = Expect::RateCode;
      break;
    case kEnd:
      out.push_back(EndAnswer);
      break;
    default:
      break;  // an unknown command: the unit ignores it
  }
  return out;
}
