// Win32 serial API behind the SerialDevice seam; CommDcb and CommTimeouts share the system's layouts.
#include "win32/Win32SerialDevice.h"

#include <cstddef>
#include <cstring>

#include "win32/WindowsApi.h"

static_assert(sizeof(CommDcb) == sizeof(DCB), "CommDcb must match DCB byte for byte");
static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS), "CommTimeouts must match COMMTIMEOUTS");
static_assert(offsetof(DCB, XonLim) == offsetof(CommDcb, XonLim), "DCB layout");
static_assert(offsetof(DCB, EvtChar) == offsetof(CommDcb, EvtChar), "DCB layout");
// INVALID_HANDLE_VALUE is (HANDLE)-1, which is what kInvalidSerialHandle holds: a
// failed CreateFileA therefore reads as a closed port without any translation.
static_assert(kInvalidSerialHandle == -1, "the closed-port value must be the invalid handle's bits");

namespace {

HANDLE AsHandle(SerialHandle h) { return reinterpret_cast<HANDLE>(h); }

bool GetState(HANDLE h, CommDcb& dcb) {
  DCB d;
  std::memset(&d, 0, sizeof d);
  d.DCBlength = sizeof d;
  if (!GetCommState(h, &d)) return false;
  std::memcpy(&dcb, &d, sizeof dcb);
  return true;
}

bool SetState(HANDLE h, const CommDcb& dcb) {
  DCB d;
  std::memcpy(&d, &dcb, sizeof d);
  return SetCommState(h, &d) != 0;
}

bool GetTimeouts(HANDLE h, CommTimeouts& t) {
  COMMTIMEOUTS c;
  if (!GetCommTimeouts(h, &c)) return false;
  std::memcpy(&t, &c, sizeof t);
  return true;
}

bool SetTimeouts(HANDLE h, const CommTimeouts& t) {
  COMMTIMEOUTS c;
  std::memcpy(&c, &t, sizeof c);
  return SetCommTimeouts(h, &c) != 0;
}

}  // namespace

bool Win32SerialDevice::Fail() {
  error_ = static_cast<int32_t>(GetLastError());
  return false;
}

SerialHandle Win32SerialDevice::Open(const char* path, const LineSettings& line) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Fail();
    return kInvalidSerialHandle;
  }
  Saved saved;
  const CommDcb dcb = DcbFor(line);
  // Each step names what the clean-up of a failure there must put back. The
  // line is set twice, first for its rate and then as a whole, as this program
  // always has; only the second is judged.
  bool restoreDcb = false;
  bool restoreTimeouts = false;
  bool ok = GetState(h, saved.dcb);
  if (ok) {
    restoreDcb = true;
    SetState(h, dcb);
    ok = SetState(h, dcb);
  }
  if (ok) ok = GetTimeouts(h, saved.timeouts);
  if (ok) {
    restoreTimeouts = true;
    ok = SetTimeouts(h, CommTimeoutsFor(kByteTimeoutMs));
  }
  if (ok) {
    saved.timeoutMs = kByteTimeoutMs;
    ports_[reinterpret_cast<SerialHandle>(h)] = saved;
    return reinterpret_cast<SerialHandle>(h);
  }
  // The port goes back to what it was and is closed; the error is the one that
  // stopped the opening, not whatever the clean-up runs into.
  Fail();
  if (restoreTimeouts) SetTimeouts(h, saved.timeouts);
  if (restoreDcb) SetState(h, saved.dcb);
  CloseHandle(h);
  return kInvalidSerialHandle;
}

bool Win32SerialDevice::Configure(SerialHandle h, const LineSettings& line) {
  return SetState(AsHandle(h), DcbFor(line)) || Fail();
}

bool Win32SerialDevice::TimeoutIs(SerialHandle h, uint32_t timeoutMs) {
  auto port = ports_.find(h);
  if (port == ports_.end() || port->second.timeoutMs == timeoutMs) return true;
  if (!SetTimeouts(AsHandle(h), CommTimeoutsFor(timeoutMs))) return Fail();
  port->second.timeoutMs = timeoutMs;
  return true;
}

Transfer Win32SerialDevice::Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) {
  if (!TimeoutIs(h, timeoutMs)) return Transfer::Failed;
  DWORD written = 0;
  if (!WriteFile(AsHandle(h), &byte, 1, &written, nullptr)) {
    Fail();
    return Transfer::Failed;
  }
  return written == 1 ? Transfer::Moved : Transfer::TimedOut;
}

Transfer Win32SerialDevice::Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) {
  if (!TimeoutIs(h, timeoutMs)) return Transfer::Failed;
  DWORD got = 0;
  uint8_t buffer = 0;
  if (!ReadFile(AsHandle(h), &buffer, 1, &got, nullptr)) {
    Fail();
    return Transfer::Failed;
  }
  if (got != 1) return Transfer::TimedOut;
  byte = buffer;
  return Transfer::Moved;
}

bool Win32SerialDevice::Discard(SerialHandle h) {
  return PurgeComm(AsHandle(h), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0 || Fail();
}

bool Win32SerialDevice::Close(SerialHandle h) {
  bool ok = true;
  auto keep = [&](bool done) {
    if (!done && ok) ok = Fail();
  };
  // A handle this device did not open (none in this program) is closed without
  // putting anything back.
  auto port = ports_.find(h);
  if (port != ports_.end()) {
    keep(SetState(AsHandle(h), port->second.dcb));
    keep(SetTimeouts(AsHandle(h), port->second.timeouts));
    ports_.erase(port);
  }
  keep(CloseHandle(AsHandle(h)) != 0);
  return ok;
}

// Windows tells a port another program holds by denying access: the share mode of a serial port is none.
PortProblem Win32SerialDevice::ProblemOf(int32_t code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
      return PortProblem::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return PortProblem::Busy;
    case ERROR_INVALID_FUNCTION:
      return PortProblem::NotSerial;
    default:
      return PortProblem::Other;
  }
}
