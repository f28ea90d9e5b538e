// The main window's test platform: the unit's side of the protocol, registry, locale and settings store.
#include "tests/mainwindow/MainWindowFakes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace mw {

namespace {

constexpr int32_t kFileNotFound = 2;
constexpr int32_t kBadCommand = 22;

std::string Hex(uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

uint8_t HexDigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return 0;
}

}  // namespace

UnitOnSerialLine::UnitOnSerialLine(InstantClock& clock) : clock_(clock) {
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

void UnitOnSerialLine::Unplug() {
  unplugged_ = true;
  open_ = false;
  ++handle_;  // the handle the program holds now leads nowhere
  toHost_.clear();
  pendingHex_.clear();
  Transcript.push_back("unplugged");
}

void UnitOnSerialLine::PlugIn() {
  unplugged_ = false;
  expect_ = Expect::Command;
  argument_.clear();
  connectsSeen_ = 0;
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
  OnHostByte(byte);
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

void UnitOnSerialLine::SendHexValue(uint8_t value, bool garbled) {
  pendingHex_.push_back(static_cast<uint8_t>(Digits[value >> 4]));
  pendingHex_.push_back(static_cast<uint8_t>(garbled ? 'G' + (value & 15) : Digits[value & 15]));
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
        SendHexValue(Memory[address], GarbleMemory);
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

void SerialCommRegistry::Remove(const std::string& data) {
  Values.erase(std::remove_if(Values.begin(), Values.end(), [&](const Value& v) { return v.Data == data; }),
               Values.end());
}

bool SerialCommRegistry::KeyExists(const std::string&) {
  ++Scans;
  return KeyPresent;
}

bool SerialCommRegistry::OpenKey(const std::string&) { return KeyPresent; }

bool SerialCommRegistry::QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) {
  if (!KeyPresent) return false;
  valueCount = static_cast<uint32_t>(Values.size());
  maxValueNameLength = 0;
  for (const Value& v : Values)
    maxValueNameLength = std::max(maxValueNameLength, static_cast<uint32_t>(v.Name.size()));
  return true;
}

bool SerialCommRegistry::EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) {
  if (index >= Values.size() || Values[index].Name.size() >= nameCapacity) return false;
  name = Values[index].Name;
  return true;
}

const SerialCommRegistry::Value* SerialCommRegistry::Find(const std::string& name) const {
  for (const Value& v : Values)
    if (v.Name == name) return &v;
  return nullptr;
}

bool SerialCommRegistry::QueryValueType(const std::string& name, uint32_t& type) {
  const Value* v = Find(name);
  if (!v) return false;
  type = v->Type;
  return true;
}

bool SerialCommRegistry::QueryValueText(const std::string& name, std::string& text) {
  const Value* v = Find(name);
  if (!v) return false;
  text = v->Data;
  return true;
}

int PlainLocale::Compare(const std::string& a, const std::string& b) const {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string PlainLocale::Upper(const std::string& text) const {
  std::string out = text;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool MemoryStorage::ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) {
  auto it = Files.find(path);
  if (it == Files.end()) return false;
  bytes = it->second.substr(0, maxBytes);
  return true;
}

bool MemoryStorage::CreateFile(const std::string& path, const std::string& bytes, size_t& written) {
  ++Creates;
  if (CreateFails) return false;
  written = bytes.size() > ShortBy ? bytes.size() - ShortBy : 0;
  Files[path] = bytes.substr(0, written);
  return true;
}

Rig::Rig() {
  Registry.Add("\\Device\\Serial0", "COM1");
  Registry.Add("\\Device\\Silabser0", "COM4");
}

Rig::~Rig() { Window.reset(); }

TDlgLectureInformation& Rig::Start() {
  Window = std::make_unique<TDlgLectureInformation>(Services);
  return *Window;
}

fake::FakeForm& Rig::MainForm() const { return static_cast<fake::FakeForm&>(Window->Form()); }
fake::FakeTimer& Rig::Timer() const { return static_cast<fake::FakeTimer&>(Window->TimerGestConnection); }
fake::FakeButton& Rig::Read() const { return static_cast<fake::FakeButton&>(Window->ButtonLectureInfo); }
fake::FakeButton& Rig::Port() const { return static_cast<fake::FakeButton&>(Window->ButtonConfigPort); }
fake::FakeButton& Rig::Language() const { return static_cast<fake::FakeButton&>(Window->ButtonChoixLangue); }
fake::FakeButton& Rig::Quit() const { return static_cast<fake::FakeButton&>(Window->ButtonQuitter); }

std::vector<std::string> Rig::Lines() const { return Window->MemoInformation.Lines(); }

std::vector<std::string> Rig::LinesFrom(size_t from) const {
  const std::vector<std::string> all = Lines();
  if (from >= all.size()) return {};
  return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
}

void Rig::Tick() {
  Timer().Fire();
  Toolkit.DeliverPosted();
}

int Rig::ReadToEnd(int maxTicks) {
  Read().Click();
  int ticks = 0;
  while (ticks < maxTicks && !Read().IsEnabled()) {
    Tick();
    ++ticks;
  }
  return ticks;
}

}  // namespace mw
