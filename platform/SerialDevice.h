// The seam between the serial link and the operating system's serial port: a line with its settings,
// one byte at a time.
#pragma once

#include <cstdint>

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : uint8_t { One, OneAndHalf, Two };

// How a line is framed and driven, without flow control of any kind.
struct LineSettings {
  uint32_t rate = 9600;
  uint8_t dataBits = 8;
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  bool dtr = false;  // held on (true) or off
  bool rts = false;
};

inline bool operator==(const LineSettings& a, const LineSettings& b) {
  return a.rate == b.rate && a.dataBits == b.dataBits && a.parity == b.parity && a.stopBits == b.stopBits &&
         a.dtr == b.dtr && a.rts == b.rts;
}
inline bool operator!=(const LineSettings& a, const LineSettings& b) { return !(a == b); }

// The unit's line, for every front end: 9600 baud, 8 data bits, even parity,
// 1 stop bit, DTR held off and RTS on. Only the rate ever changes.
constexpr LineSettings kUnitLine{9600, 8, Parity::Even, StopBits::One, false, true};

// How long one byte's read or write waits on the unit's line before it gives up.
constexpr uint32_t kByteTimeoutMs = 1100;

using SerialHandle = intptr_t;
constexpr SerialHandle kInvalidSerialHandle = -1;

// What a one-byte read or write came to.
enum class Transfer { Moved, TimedOut, Failed };

// Why a port could not be used, as far as the front end could tell.
enum class PortProblem {
  None,
  Busy,            // another program holds it
  Missing,         // not there, or gone
  Permission,      // the account may not open it
  NotSerial,       // a file or device that is no serial port
  NoneToChoose,    // auto: there is no port
  Ambiguous,       // auto or a USB identity: several ports fit
  ListUnreadable,  // the port list cannot be read
  Other,
};

// A false result, an invalid handle or Transfer::Failed is a failure whose code
// LastError() then gives: a Windows error code on Windows, an errno value elsewhere.
// Each backend keeps the port's own settings at Open and puts them back at Close.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // Opens the port exclusively and sets its line. On failure nothing stays open
  // and the port keeps its own settings. path is the link's port path ("\\.\COMn",
  // or a device path); each backend maps it to its own device.
  virtual SerialHandle Open(const char* path, const LineSettings& line) = 0;
  // Sets the line of an open port anew (a new rate).
  virtual bool Configure(SerialHandle h, const LineSettings& line) = 0;
  virtual Transfer Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) = 0;
  virtual Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) = 0;
  // Throws away what waits to be read or sent, and what is under way.
  virtual bool Discard(SerialHandle h) = 0;
  // Puts the port's own settings back and gives the handle up, even when that
  // fails; the first failure is the one reported.
  virtual bool Close(SerialHandle h) = 0;
  virtual int32_t LastError() = 0;
  // What an error code of this device's system means for the port: each backend reads its own codes
  // here, once, so that no front end has to.
  virtual PortProblem ProblemOf(int32_t code) = 0;
};
