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

SerialHandle UnitOnSerialLine::Open(const char* path, const LineSettings& line) {
  if (open_ || unplugged_ || UnitPort != path) {
    lastError_ = kFileNotFound;
    return kInvalidSerialHandle;
  }
  open_ = true;
  line_ = line;
  ++OpenCount;
  const char* name = std::strrchr(path, '\\');
  Transcript.push_back(std::string("open ") + (name ? name + 1 : path));
  return handle_;
}

bool UnitOnSerialLine::Configure(SerialHandle h, const LineSettings& line) {
  if (Dead(h)) return false;
  line_ = line;
  return true;
}

bool UnitOnSerialLine::Discard(SerialHandle h) {
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

Transfer UnitOnSerialLine::Write(SerialHandle h, uint8_t byte, uint32_t) {
  if (Dead(h)) return Transfer::Failed;
  Transcript.push_back(">" + Hex(byte));
  for (uint8_t answer : OnHostByte(byte)) Send(answer);
  return Transfer::Moved;
}

Transfer UnitOnSerialLine::Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) {
  if (Dead(h)) return Transfer::Failed;
  if (ReadsBeforeLineFails >= 0 && unitBytesRead_ >= ReadsBeforeLineFails) {
    lastError_ = LineError;
    return Transfer::Failed;
  }
  if (toHost_.empty()) {
    // A silent line: the read gives up after its timeout.
    clock_.Advance(timeoutMs);
    return Transfer::TimedOut;
  }
  byte = toHost_.front();
  toHost_.pop_front();
  ++unitBytesRead_;
  Transcript.push_back("<" + Hex(byte));
  return Transfer::Moved;
}

void UnitOnSerialLine::Send(uint8_t byte) {
  if (!Present || AnswersLeft == 0) return;
  if (AnswersLeft > 0) --AnswersLeft;
  toHost_.push_back(byte);
}

}  // namespace fake
