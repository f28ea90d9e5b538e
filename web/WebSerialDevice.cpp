// The link's serial calls on the page's SerialLine, which owns the Web Serial port and its streams.
#include "web/WebSerialDevice.h"

#include <emscripten.h>

#include <string>

// The SerialLine answers with a number: a byte or a count, -1 for a timeout, -2
// for a failure whose errno-like code lastError() then gives.
EM_ASYNC_JS(int, serial_open, (const char* label),
            { return await Module.serialLine.call("open", UTF8ToString(label)); });
EM_ASYNC_JS(int, serial_configure, (int baud, int dataBits, int parity, int stopBits, int dtr, int rts), {
  return await Module.serialLine.call("configure", baud, dataBits, parity, stopBits, dtr != 0, rts != 0);
});
EM_ASYNC_JS(int, serial_write, (int byte, int timeoutMs),
            { return await Module.serialLine.call("write", byte, timeoutMs); });
EM_ASYNC_JS(int, serial_read, (int timeoutMs), { return await Module.serialLine.call("read", timeoutMs); });
EM_ASYNC_JS(int, serial_close, (), { return await Module.serialLine.call("close"); });
EM_JS(void, serial_purge, (), { Module.serialLine.purge(); });
EM_JS(int, serial_last_error, (), { return Module.serialLine.lastError; });
EM_JS(void, serial_error_text, (char* out, int size),
      { stringToUTF8(Module.serialLine.lastErrorText || "", out, size); });

namespace {

// Windows' DTR_CONTROL_ENABLE and RTS_CONTROL_ENABLE: the line held on.
bool LineHeldOn(uint32_t flags, uint32_t shift) { return ((flags >> shift) & 3u) == 1u; }

// Windows reads the total timeout of a one-byte transfer as constant + multiplier;
// with both 0 a transfer waits as long as it takes.
int TotalTimeout(uint32_t multiplier, uint32_t constant) {
  const uint64_t ms = static_cast<uint64_t>(multiplier) + constant;
  return ms == 0 || ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

}  // namespace

bool WebSerialDevice::Failed() {
  error_ = serial_last_error();
  return false;
}

SerialHandle WebSerialDevice::Open(const char* path) {
  const int handle = serial_open(path);
  if (handle < 0) {
    Failed();
    return kInvalidSerialHandle;
  }
  // What the SerialLine opens with, and so what GetState finds before any SetState: the
  // system raises DTR and RTS when it opens a port, and Close puts them back so.
  dcb_ = CommDcb{};
  dcb_.DCBlength = sizeof(CommDcb);
  dcb_.Flags = dcbflag::Binary | (1u << dcbflag::DtrControlShift) | (1u << dcbflag::RtsControlShift);
  dcb_.BaudRate = 9600;
  dcb_.ByteSize = 8;
  dcb_.Parity = kEvenParity;
  dcb_.StopBits = kOneStopBit;
  timeouts_ = CommTimeouts{};
  return handle;
}

bool WebSerialDevice::GetState(SerialHandle, CommDcb& dcb) {
  dcb = dcb_;
  return true;
}

bool WebSerialDevice::SetState(SerialHandle, const CommDcb& dcb) {
  const int r = serial_configure(static_cast<int>(dcb.BaudRate), dcb.ByteSize, dcb.Parity, dcb.StopBits,
                                 LineHeldOn(dcb.Flags, dcbflag::DtrControlShift),
                                 LineHeldOn(dcb.Flags, dcbflag::RtsControlShift));
  if (r < 0) return Failed();
  dcb_ = dcb;
  return true;
}

bool WebSerialDevice::GetTimeouts(SerialHandle, CommTimeouts& t) {
  t = timeouts_;
  return true;
}

bool WebSerialDevice::SetTimeouts(SerialHandle, const CommTimeouts& t) {
  timeouts_ = t;
  return true;
}

bool WebSerialDevice::Purge(SerialHandle, uint32_t flags) {
  // A write is over once the port took it, so only received bytes can be waiting.
  if (flags & (kPurgeRxAbort | kPurgeRxClear)) serial_purge();
  return true;
}

bool WebSerialDevice::Write(SerialHandle, uint8_t byte, uint32_t& count) {
  count = 0;
  const int r = serial_write(
      byte, TotalTimeout(timeouts_.WriteTotalTimeoutMultiplier, timeouts_.WriteTotalTimeoutConstant));
  if (r == -2) return Failed();
  if (r == 1) count = 1;
  return true;
}

bool WebSerialDevice::Read(SerialHandle, uint8_t& byte, uint32_t& count) {
  count = 0;
  const int r =
      serial_read(TotalTimeout(timeouts_.ReadTotalTimeoutMultiplier, timeouts_.ReadTotalTimeoutConstant));
  if (r == -2) return Failed();
  if (r >= 0) {
    byte = static_cast<uint8_t>(r);
    count = 1;
  }
  return true;
}

bool WebSerialDevice::Close(SerialHandle) { return serial_close() < 0 ? Failed() : true; }

std::string WebSerialErrorText() {
  char text[256];
  serial_error_text(text, sizeof text);
  return text;
}
