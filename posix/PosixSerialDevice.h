// The serial device on Linux: a tty opened exclusively, set raw from the LineSettings, each transfer
// waiting with poll up to its timeout.
//
// Port paths. The link names its port "\\.\COMn", as Windows does; a PortPathMapper
// turns that name into a device path. The default rule maps COMn to /dev/ttyS<n-1>
// (COM1 is ttyS0, the correspondence Linux itself uses for the legacy ports).
// PortDirectory(dir) maps COMn to <dir>/COMn instead, so that a folder of symlinks
// (COM3 -> /dev/ttyUSB0, COM5 -> /dev/pts/7) can give any device a COM number.
// A name that is not of the form "\\.\COMn" is taken as a device path as it is.
//
// Statuses are errno values. A device without modem lines (a pty answers the modem
// ioctls with ENOTTY) is used without them; on one with them, Close puts DTR and
// RTS back as they were at open, after the termios found at open. Bytes with parity errors are passed on as
// received, as on Windows. A line whose other end has gone (EIO,
// POLLHUP) fails with EIO rather than blocking.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/SerialDevice.h"

class PosixSerialDevice : public SerialDevice {
 public:
  using PortPathMapper = std::function<std::string(const std::string& portPath)>;

  PosixSerialDevice();
  explicit PosixSerialDevice(PortPathMapper mapper);
  ~PosixSerialDevice() override;

  static std::string DefaultPortPath(const std::string& portPath);
  // A descriptor that becomes readable when the program must stop (the read end
  // of a pipe a signal handler writes to): a wait for the line then gives up at
  // once with EINTR, whichever thread the signal reached.
  void SetWakeDescriptor(int fd) { wake_ = fd; }
  static PortPathMapper PortDirectory(const std::string& directory);

  SerialHandle Open(const char* path, const LineSettings& line) override;
  bool Configure(SerialHandle h, const LineSettings& line) override;
  Transfer Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) override;
  Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) override;
  bool Discard(SerialHandle h) override;
  bool Close(SerialHandle h) override;
  int32_t LastError() override;
  PortProblem ProblemOf(int32_t code) override;

 private:
  struct Port;
  Port* Find(SerialHandle h);
  static void RestoreLines(Port& p);
  bool Apply(Port& p, const LineSettings& line);
  bool Fail(int error);
  Transfer Failed(int error);

  PortPathMapper mapper_;
  std::unique_ptr<Port> ports_;  // singly linked: a program rarely holds more than one
  int32_t lastError_ = 0;
  int wake_ = -1;
};
