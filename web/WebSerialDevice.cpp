// The link's serial calls on the page's SerialLine, which owns the Web Serial port and its streams.
#include "web/WebSerialDevice.h"

#include <emscripten.h>

#include <string>

// The SerialLine answers with a number: a byte or a count, -1 for a timeout, -2
// for a failure whose errno-like code lastError() then gives.
// The settings go to the page as Web Serial names them, the same for opening and for a later change of rate.
EM_ASYNC_JS(int, serial_set_line,
            (const char* what, const char* label, int baud, int dataBits, const char* parity, int stopBits,
             int dtr, int rts),
            {
              const line = {
                baudRate : baud,
                dataBits : dataBits,
                parity : UTF8ToString(parity),
                stopBits : stopBits,
                dtr : dtr != 0,
                rts : rts != 0
              };
              if (UTF8ToString(what) == "open")
                return await Module.serialLine.call("open", UTF8ToString(label), line);
              return await Module.serialLine.call("configure", line);
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

// Web Serial knows none of mark and space parity nor one and a half stop bits:
// the page refuses what it cannot open.
const char* ParityName(Parity parity) {
  switch (parity) {
    case Parity::None:
      return "none";
    case Parity::Odd:
      return "odd";
    case Parity::Even:
      return "even";
    case Parity::Mark:
      return "mark";
    case Parity::Space:
      return "space";
  }
  return "none";
}

int StopBitCount(StopBits stopBits) {
  return stopBits == StopBits::One ? 1 : stopBits == StopBits::Two ? 2 : 0;
}

}  // namespace

bool WebSerialDevice::Failed() {
  error_ = serial_last_error();
  return false;
}

SerialHandle WebSerialDevice::Open(const char* path, const LineSettings& line) {
  const int handle =
      serial_set_line("open", path, static_cast<int>(line.rate), line.dataBits, ParityName(line.parity),
                      StopBitCount(line.stopBits), line.dtr, line.rts);
  if (handle < 0) {
    Failed();
    return kInvalidSerialHandle;
  }
  return handle;
}

bool WebSerialDevice::Configure(SerialHandle, const LineSettings& line) {
  const int r = serial_set_line("configure", "", static_cast<int>(line.rate), line.dataBits,
                                ParityName(line.parity), StopBitCount(line.stopBits), line.dtr, line.rts);
  return r >= 0 || Failed();
}

Transfer WebSerialDevice::Write(SerialHandle, uint8_t byte, uint32_t timeoutMs) {
  const int r = serial_write(byte, static_cast<int>(timeoutMs));
  if (r == -2) {
    Failed();
    return Transfer::Failed;
  }
  return r == 1 ? Transfer::Moved : Transfer::TimedOut;
}

Transfer WebSerialDevice::Read(SerialHandle, uint8_t& byte, uint32_t timeoutMs) {
  const int r = serial_read(static_cast<int>(timeoutMs));
  if (r == -2) {
    Failed();
    return Transfer::Failed;
  }
  if (r < 0) return Transfer::TimedOut;
  byte = static_cast<uint8_t>(r);
  return Transfer::Moved;
}

// A write is over once the port took it, so only received bytes can be waiting.
bool WebSerialDevice::Discard(SerialHandle) {
  serial_purge();
  return true;
}

bool WebSerialDevice::Close(SerialHandle) { return serial_close() < 0 ? Failed() : true; }

std::string WebSerialErrorText() {
  char text[256];
  serial_error_text(text, sizeof text);
  return text;
}

PortProblem WebSerialDevice::ProblemOf(int32_t code) {
  switch (code) {
    case kWebPortBusy:
    case kWebPortAlreadyOpen:
      return PortProblem::Busy;
    case kWebPortDenied:
      return PortProblem::Permission;
    case kWebPortGone:
      return PortProblem::Missing;
    default:
      return PortProblem::Other;
  }
}
