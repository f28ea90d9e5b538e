// Serial-device decorators of bravelle-cli: one opens the port the user named whatever the link's
// own port name says, the other reports every byte that crosses the line.
#pragma once

#include <functional>
#include <string>

#include "platform/SerialDevice.h"

// Passes every call on to another device.
class ForwardingSerialDevice : public SerialDevice {
 public:
  explicit ForwardingSerialDevice(SerialDevice& inner) : inner_(inner) {}
  SerialHandle Open(const char* path) override { return inner_.Open(path); }
  bool GetState(SerialHandle h, CommDcb& dcb) override { return inner_.GetState(h, dcb); }
  bool SetState(SerialHandle h, const CommDcb& dcb) override { return inner_.SetState(h, dcb); }
  bool GetTimeouts(SerialHandle h, CommTimeouts& t) override { return inner_.GetTimeouts(h, t); }
  bool SetTimeouts(SerialHandle h, const CommTimeouts& t) override { return inner_.SetTimeouts(h, t); }
  bool Purge(SerialHandle h, uint32_t flags) override { return inner_.Purge(h, flags); }
  bool Write(SerialHandle h, uint8_t byte, uint32_t& count) override { return inner_.Write(h, byte, count); }
  bool Read(SerialHandle h, uint8_t& byte, uint32_t& count) override { return inner_.Read(h, byte, count); }
  bool Close(SerialHandle h) override { return inner_.Close(h); }
  int32_t LastError() override { return inner_.LastError(); }

 protected:
  SerialDevice& inner_;
};

// The link names its port "\\.\COMn" in twenty characters; a device path such as
// /dev/serial/by-id/usb-Silicon_Labs_CP2102_..._0001-if00-port0 does not fit, and
// a COM number means nothing on Linux. The link's name is therefore not used.
class RedirectedSerialDevice : public ForwardingSerialDevice {
 public:
  RedirectedSerialDevice(SerialDevice& inner, std::string path)
      : ForwardingSerialDevice(inner), path_(path) {}
  SerialHandle Open(const char*) override { return inner_.Open(path_.c_str()); }

 private:
  std::string path_;
};

// Reports each byte that really moved: a write that timed out sent nothing, a
// read that timed out received nothing.
class TracingSerialDevice : public ForwardingSerialDevice {
 public:
  using Sink = std::function<void(bool hostToUnit, uint8_t byte)>;
  TracingSerialDevice(SerialDevice& inner, Sink sink)
      : ForwardingSerialDevice(inner), sink_(std::move(sink)) {}
  bool Write(SerialHandle h, uint8_t byte, uint32_t& count) override {
    const bool ok = inner_.Write(h, byte, count);
    if (ok && count == 1 && sink_) sink_(true, byte);
    return ok;
  }
  bool Read(SerialHandle h, uint8_t& byte, uint32_t& count) override {
    const bool ok = inner_.Read(h, byte, count);
    if (ok && count == 1 && sink_) sink_(false, byte);
    return ok;
  }

 private:
  Sink sink_;
};
