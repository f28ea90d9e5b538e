// Stand-ins for the main window's platform: a scripted unit on the line, an instant clock, registry, storage.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Platform.h"
#include "forms/TDlgLectureInformation.h"
#include "tests/support/FakeToolkit.h"

namespace mw {

// Time moves only when the program looks at it or sleeps, so a busy wait of
// one second ends after a thousand polls and no test waits for real.
class InstantClock : public Clock {
 public:
  uint32_t TickCount() override { return ++now_; }
  void Sleep(uint32_t milliseconds) override { now_ += milliseconds; }
  void Advance(uint32_t milliseconds) { now_ += milliseconds; }
  uint32_t Now() const { return now_; }

 private:
  uint32_t now_ = 5000;
};

// The unit at the far end of the line, answering the host byte by byte as the
// real one does, and a transcript of everything that crossed the line:
// ">80" host to unit, "<81" unit to host, plus "open COMn", "purge" and "close".
class UnitOnSerialLine : public SerialDevice {
 public:
  explicit UnitOnSerialLine(InstantClock& clock);

  // --- How the unit behaves ---
  std::string UnitPort = "\\\\.\\COM4";  // the only path that opens
  bool Present = true;                   // false: the port opens, nobody answers
  int IgnoredConnects = 0;               // connect requests left unanswered first
  std::string Type = "P04";
  uint8_t Circuit = 5;
  uint8_t Memory[256] = {};
  // Bytes the unit still sends before it falls silent for good; -1 for no limit.
  int AnswersLeft = -1;
  // Reads fail with this system error once that many unit bytes were read; -1 never.
  int ReadsBeforeLineFails = -1;
  int32_t LineError = 5;
  // The characters the unit writes its hex digits with: lowercase units exist.
  std::string Digits = "0123456789ABCDEF";
  // Memory bytes go out with a second character that is no hex digit, as
  // noise or a wrong rate deliver them.
  bool GarbleMemory = false;

  // The unit's USB adapter pulled out: the handle the program holds is dead
  // for good (every call on it fails, as Windows does with ERROR_BAD_COMMAND)
  // and the port path opens nothing. PlugIn brings a new device under the
  // same path, which opens even while the dead handle is still held.
  void Unplug();
  void PlugIn();

  void SetSerialNumber(uint32_t serial);
  void SetSoftwareVersion(uint8_t major, uint8_t minor);

  // --- What happened ---
  std::vector<std::string> Transcript;
  int OpenCount = 0;
  int CloseCount = 0;
  // Runs when the program closes the port.
  std::function<void()> OnClose;
  bool IsOpen() const { return open_; }
  // The transcript since entry `from`, joined with spaces.
  std::string TranscriptFrom(size_t from) const;
  size_t Count(const std::string& entry) const;

  // --- SerialDevice ---
  SerialHandle Open(const char* path) override;
  bool GetState(SerialHandle h, CommDcb& dcb) override;
  bool SetState(SerialHandle h, const CommDcb& dcb) override;
  bool GetTimeouts(SerialHandle h, CommTimeouts& t) override;
  bool SetTimeouts(SerialHandle h, const CommTimeouts& t) override;
  bool Purge(SerialHandle h, uint32_t flags) override;
  bool Write(SerialHandle h, uint8_t byte, uint32_t& count) override;
  bool Read(SerialHandle h, uint8_t& byte, uint32_t& count) override;
  bool Close(SerialHandle h) override;
  int32_t LastError() override { return lastError_; }

 private:
  enum class Expect { Command, Address, RateCode };
  void Send(uint8_t byte);
  void SendHexValue(uint8_t value, bool garbled = false);
  void OnHostByte(uint8_t byte);

  InstantClock& clock_;
  bool Dead(SerialHandle h);

  bool open_ = false;
  bool unplugged_ = false;
  SerialHandle handle_ = 7;  // the live device's handle; a new one after each unplug
  int32_t lastError_ = 0;
  std::deque<uint8_t> toHost_;
  // Hex characters of a value not yet sent: each goes out after the host's ACK.
  std::deque<uint8_t> pendingHex_;
  Expect expect_ = Expect::Command;
  std::string argument_;
  int connectsSeen_ = 0;
  int unitBytesRead_ = 0;
  CommDcb portDcb_{};
  CommTimeouts portTimeouts_{};
};

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM as a list of values.
class SerialCommRegistry : public PortRegistry {
 public:
  struct Value {
    std::string Name;
    uint32_t Type;
    std::string Data;
  };
  bool KeyPresent = true;
  std::vector<Value> Values;
  int Scans = 0;

  void Add(const std::string& name, const std::string& data) { Values.push_back({name, kRegSz, data}); }
  void Remove(const std::string& data);

  bool KeyExists(const std::string& subkey) override;
  bool OpenKey(const std::string& subkey) override;
  bool QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) override;
  bool EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) override;
  bool QueryValueType(const std::string& name, uint32_t& type) override;
  bool QueryValueText(const std::string& name, std::string& text) override;
  void CloseKey() override {}

 private:
  const Value* Find(const std::string& name) const;
};

// Byte order and ASCII upper case: enough for port names.
class PlainLocale : public TextLocale {
 public:
  int Compare(const std::string& a, const std::string& b) const override;
  std::string Upper(const std::string& text) const override;
};

class MemoryStorage : public SettingsStorage {
 public:
  std::map<std::string, std::string> Files;
  int Creates = 0;
  bool CreateFails = false;
  // When set, the system reports this many bytes fewer than asked for.
  size_t ShortBy = 0;

  std::string WindowsDirectory() override { return "C:\\windows"; }
  bool FileExists(const std::string& path) override { return Files.count(path) != 0; }
  bool ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) override;
  bool CreateFile(const std::string& path, const std::string& bytes, size_t& written) override;
};

// Everything a main window needs, with the unit on COM4 behind a
// Silicon Labs port so that the window picks it by itself.
struct Rig {
  Rig();
  ~Rig();

  fake::FakeToolkit Toolkit;
  InstantClock Ticks;
  UnitOnSerialLine Unit{Ticks};
  SerialCommRegistry Registry;
  PlainLocale Locale;
  MemoryStorage Storage;
  Platform Services{Toolkit, Unit, Ticks, Registry, Locale, Storage};
  std::unique_ptr<TDlgLectureInformation> Window;

  TDlgLectureInformation& Start();
  fake::FakeForm& MainForm() const;
  fake::FakeTimer& Timer() const;
  fake::FakeButton& Read() const;
  fake::FakeButton& Port() const;
  fake::FakeButton& Language() const;
  fake::FakeButton& Quit() const;
  std::vector<std::string> Lines() const;
  // The pane's lines from index `from` on.
  std::vector<std::string> LinesFrom(size_t from) const;

  // One timer tick, then the messages it posted, as the message loop runs them.
  void Tick();
  // Clicks the read button and ticks until the buttons are given back (or
  // maxTicks ran out); returns the ticks used.
  int ReadToEnd(int maxTicks = 50);
};

}  // namespace mw
