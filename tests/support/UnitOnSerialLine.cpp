// The simulated unit as a serial device: what the host writes goes to the unit's logic, its answers wait to
// be read.
#include "tests/support/UnitOnSerialLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace fake {

namespace {

constexpr int32_t kFileNotFound = 2;
constexpr int32_t kBadCommand = 22;

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

void UnitOnSerialLine::Unplug() {
  unplugged_ = true;
  open_ = false;
  ++handle_;  // the handle the program holds now leads nowhere
  toHost_.clear();
  Transcript.push_back("unplugged");
}

void UnitOnSerialLine::PlugIn() {
  unplugged_ = false;
  Restart();
  Transcript.push_back("plugged in");
}

bool UnitOnSerialLine::Dead(SerialHandle h) {
  if (h == handle_ && !unplugged_) return false;
  lastError_ = kBadCommand;
  return true;
}

SerialHandle UnitOnSerialLine::Open(const char* path) {
  if (open_ || unplugged_ || UnitPort != path) {
    lastError_ = kFileNotFound;
    return kInvalidSerialHandle;
  }
  open_ = true;
  ++OpenCount;
  const char* name = std::strrchr(path, '\\');
  Transcript.push_back(std::string("open ") + (name ? name + 1 : path));
  return handle_;
}

bool UnitOnSerialLine::GetState(SerialHandle h, CommDcb& dcb) {
  if (Dead(h)) return false;
  dcb = portDcb_;
  return true;
}
bool UnitOnSerialLine::SetState(SerialHandle h, const CommDcb& dcb) {
  if (Dead(h)) return false;
  portDcb_ = dcb;
  return true;
}
bool UnitOnSerialLine::GetTimeouts(SerialHandle h, CommTimeouts& t) {
  if (Dead(h)) return false;
  t = portTimeouts_;
  return true;
}
bool UnitOnSerialLine::SetTimeouts(SerialHandle h, const CommTimeouts& t) {
  if (Dead(h)) return false;
  portTimeouts_ = t;
  return true;
}

bool UnitOnSerialLine::Purge(SerialHandle h, uint32_t) {
  if (Dead(h)) return false;
  Transcript.push_back("purge");
  toHost_.clear();
  return true;
}

bool UnitOnSerialLine::Close(SerialHandle h) {
  // Closing a dead handle works: it only frees the program's side.
  if (h == handle_) open_ = false;
  ++CloseCount;
  Transcript.push_back(h == handle_ ? "close" : "close dead");
  if (OnClose) OnClose();
  return true;
}

bool UnitOnSerialLine::Write(SerialHandle h, uint8_t byte, uint32_t& count) {
  count = 0;
  if (Dead(h)) return false;
  Transcript.push_back(">" + Hex(byte));
  count = 1;
  for (uint8_t answer : OnHostByte(byte)) Send(answer);
  return true;
}

bool UnitOnSerialLine::Read(SerialHandle h, uint8_t& byte, uint32_t& count) {
  count = 0;
  if (Dead(h)) return false;
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
