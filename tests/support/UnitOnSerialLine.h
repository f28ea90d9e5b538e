// The simulated unit in the test process: the simunit program's protocol behind a serial device, with a
// transcript.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"
#include "tests/support/FakeClock.h"
#include "tools/simunit/UnitLogic.h"

namespace fake {

// The unit at the far end of the line, answering the host byte by byte as the
// real one does, and a transcript of everything that crossed the line:
// ">80" host to unit, "<81" unit to host, plus "open COMn", "purge", "close",
// "close dead" (a handle left over from before an unplug), "unplugged" and "plugged in".
class UnitOnSerialLine : public SerialDevice, public UnitLogic {
 public:
  explicit UnitOnSerialLine(fake::FakeClock& clock);

  // --- How the unit behaves ---
  std::string UnitPort = "\\\\.\\COM4";  // the only path that opens
  // The protocol's behaviour (type, memory, ignored connects, ...) is UnitLogic's.
  bool Present = true;  // false: the port opens, nobody answers
  // Bytes the unit still sends before it falls silent for good; -1 for no limit.
  int AnswersLeft = -1;
  // Reads fail with this system error once that many unit bytes were read; -1 never.
  int ReadsBeforeLineFails = -1;
  int32_t LineError = 5;

  // The unit's USB adapter pulled out: the handle the program holds is dead
  // for good (every call on it fails, as Windows does with ERROR_BAD_COMMAND)
  // and the port path opens nothing. PlugIn brings a new device under the
  // same path, freshly powered, which opens even while the dead handle is still held.
  void Unplug();
  void PlugIn();

  // --- What happened ---
  std::vector<std::string> Transcript;
  int OpenCount = 0;
  int CloseCount = 0;
  // Runs when the program closes the port.
  std::function<void()> OnClose;
  bool IsOpen() const { return open_; }
  // The line the port was set to last.
  const LineSettings& Line() const { return line_; }
  // The transcript since entry `from`, joined with spaces.
  std::string TranscriptFrom(size_t from) const;
  size_t Count(const std::string& entry) const;

  // --- SerialDevice ---
  SerialHandle Open(const char* path, const LineSettings& line) override;
  bool Configure(SerialHandle h, const LineSettings& line) override;
  Transfer Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) override;
  Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) override;
  bool Discard(SerialHandle h) override;
  bool Close(SerialHandle h) override;
  int32_t LastError() override { return lastError_; }
  // Windows' codes, as the window's device gives them: the window never asks what they mean.
  PortProblem ProblemOf(int32_t) override { return PortProblem::Other; }

 private:
  void Send(uint8_t byte);
  bool Dead(SerialHandle h);

  fake::FakeClock& clock_;
  bool open_ = false;
  bool unplugged_ = false;
  SerialHandle handle_ = 7;  // the live device's handle; a new one after each unplug
  int32_t lastError_ = 0;
  std::deque<uint8_t> toHost_;
  int unitBytesRead_ = 0;
  LineSettings line_{};
};

}  // namespace fake
