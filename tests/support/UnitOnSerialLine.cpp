// The simulated unit as a serial device: what the host writes goes to the unit's logic, its answers wait to
// be read.
#include "tests/support/UnitOnSerialLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace fake {

namespace {

constexpr SerialHandle kHandle = 7;
constexpr int32_t kFileNotFound = 2;

std::string Hex(uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

}  // namespace

UnitOnSerialLine::UnitOnSerialLine(fake::FakeClock& clock) : clock_(clock) {
  // Values the host never examines, other than the simunit program's: the
  // tests then show that the host does not look at them.
  EndAnswer = 0x04;
  BaudTrailer = 0x00;
  portDcb_.DCBlength = sizeof(CommDcb);
  portDcb_.BaudRate = 115200;
  portTimeouts_.ReadIntervalTimeout = 42;
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
  for (uint8_t answer : OnHostByte(byte)) Send(answer);
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

}  // namespace fake
