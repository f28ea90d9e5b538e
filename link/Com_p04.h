// TComP04: the serial link to the unit, one byte at a time, and the unit's command protocol.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "platform/SerialDevice.h"

// Status codes of the link; Windows (or errno) codes lie well below them.
constexpr int32_t COMERR_NOT_CONNECTED = 100001;
constexpr int32_t COMERR_TIMEOUT = 100002;
constexpr int32_t COMERR_BAD_REPLY = 100003;
constexpr int32_t COMERR_PORT_CLOSED = 100016;
constexpr int32_t COMERR_WRONG_UNIT = 100020;
// A front end without a window asked the reading to stop (Ctrl+C, Cancel):
// what its line device gives instead of a byte from then on.
constexpr int32_t COMERR_STOPPED = 100030;

// Protocol bytes.
constexpr uint8_t CMD_END = 0x04;
constexpr uint8_t CMD_CONNECT = 0x80;
constexpr uint8_t RSP_CONNECTED = 0x81;
constexpr uint8_t ACK = 0x84;
constexpr uint8_t RSP_REFUSED = 0x85;
constexpr uint8_t CMD_READ_TYPE = 0x86;
constexpr uint8_t CMD_READ_CIRCUIT = 0x87;
constexpr uint8_t CMD_READ_BYTE = 0x89;
constexpr uint8_t CMD_SET_BAUD = 0x9E;

// The device name filled into every "%s" of the catalogue texts that name the unit.
std::string GetDeviceName();

class TComP04 {
 public:
  TComP04(SerialDevice& device, Clock& clock);
  ~TComP04();
  TComP04(const TComP04&) = delete;
  TComP04& operator=(const TComP04&) = delete;

  void SetPortIndex(int32_t index);
  // A device path as the system names it ("/dev/ttyUSB0", "\\.\COM12"), for
  // front ends that take ports by their own names; Open passes it on unchanged.
  // SetPortIndex gives the link back its COM name.
  void SetPortPath(const std::string& path);
  // What Open passes to the device: the path set last, else PortName.
  const char* DevicePath() const { return path_.empty() ? PortName : path_.c_str(); }
  int32_t Open();
  int32_t Close();
  int32_t SetBaudRate(int32_t rate);
  int32_t Purge();
  int32_t WriteByte(uint8_t value);
  int32_t ReadByte(int32_t& value);
  int32_t SendHexByte(uint32_t value);
  int32_t ReceiveHexByte(int32_t& value, bool acknowledge);
  // 0 with value set, or COMERR_BAD_REPLY with value untouched when either
  // character is not a hexadecimal digit (either case).
  static int32_t DecodeHexPair(int32_t first, int32_t second, int32_t& value);
  void WaitMilliseconds(uint32_t duration);

  int32_t Connect(int32_t timeoutSeconds);
  int32_t Release();
  int32_t ReadUnitType(char* buffer);  // at least 4 bytes
  // Whether three characters from ReadUnitType name the unit this link reads.
  static bool IsThisUnitType(const char* type);
  int32_t CheckUnitType();
  int32_t ReadCircuitVersion(int32_t& value);
  int32_t ReadByteAt(int32_t address, int32_t& value);
  int32_t ReadWordAt(int32_t address, int32_t& value);
  int32_t ReadSerialNumber(uint32_t& value);
  int32_t ReadSoftwareVersion(int32_t& major, int32_t& minor);
  int32_t SwitchUnitBaudRate(int32_t rate);

  bool IsOpen() const { return PortHandle != kInvalidSerialHandle; }

  // The object's state, readable by its users and tests.
  SerialHandle PortHandle = kInvalidSerialHandle;
  // The line the link sets on its port; only its rate ever changes. The port's
  // own settings are the device's to keep and put back.
  LineSettings Line = kUnitLine;
  char PortName[20] = {};
  uint32_t Connected = 0;
  int32_t LastStatus = 0;
  // The last handshake's answer was RSP_REFUSED: the unit is there, but another station holds it.
  bool Refused = false;

  // What a system error of the port means, in the words of the device that gave it.
  PortProblem ProblemOf(int32_t status) { return device_.ProblemOf(status); }

 private:
  // Takes the device's error as LastStatus, and returns it.
  int32_t KeepDeviceError();
  // The status of one byte moved, timed out or failed.
  int32_t KeepTransfer(Transfer transfer);
  // True, with LastStatus set to COMERR_NOT_CONNECTED, when no handshake has succeeded.
  bool NotConnected();
  // True, with LastStatus set to COMERR_PORT_CLOSED, when the port is not open.
  bool PortClosed();
  // One connect request of the handshake and its answer, kept as the last byte received; false when
  // the request could not be written (its status is then in LastStatus).
  bool AskOnce(bool& haveByte, int32_t& lastByte);
  // The handshake's way out of a refused or broken port: pause and purge, let
  // the unit go and close the port, so that the next Connect opens it anew.
  void DropPort();
  // Closes an open port before the link's path changes to another one.
  void CloseForNewPath(const char* newPath);

  SerialDevice& device_;
  Clock& clock_;
  std::string path_;
};
