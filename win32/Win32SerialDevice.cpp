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
}  // namespace

SerialHandle Win32SerialDevice::Open(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  return reinterpret_cast<SerialHandle>(h);
}

bool Win32SerialDevice::GetState(SerialHandle h, CommDcb& dcb) {
  DCB d;
  std::memset(&d, 0, sizeof d);
  d.DCBlength = sizeof d;
  if (!GetCommState(AsHandle(h), &d)) return false;
  std::memcpy(&dcb, &d, sizeof dcb);
  return true;
}

bool Win32SerialDevice::SetState(SerialHandle h, const CommDcb& dcb) {
  DCB d;
  std::memcpy(&d, &dcb, sizeof d);
  return SetCommState(AsHandle(h), &d) != 0;
}

bool Win32SerialDevice::GetTimeouts(SerialHandle h, CommTimeouts& t) {
  COMMTIMEOUTS c;
  if (!GetCommTimeouts(AsHandle(h), &c)) return false;
  std::memcpy(&t, &c, sizeof t);
  return true;
}

bool Win32SerialDevice::SetTimeouts(SerialHandle h, const CommTimeouts& t) {
  COMMTIMEOUTS c;
  std::memcpy(&c, &t, sizeof c);
  return SetCommTimeouts(AsHandle(h), &c) != 0;
}

bool Win32SerialDevice::Purge(SerialHandle h, uint32_t flags) {
  return PurgeComm(AsHandle(h), flags) != 0;
}

bool Win32SerialDevice::Write(SerialHandle h, uint8_t byte, uint32_t& count) {
  DWORD written = 0;
  const BOOL ok = WriteFile(AsHandle(h), &byte, 1, &written, nullptr);
  count = written;
  return ok != 0;
}

bool Win32SerialDevice::Read(SerialHandle h, uint8_t& byte, uint32_t& count) {
  DWORD got = 0;
  uint8_t buffer = 0;
  const BOOL ok = ReadFile(AsHandle(h), &buffer, 1, &got, nullptr);
  count = got;
  if (ok && got == 1) byte = buffer;
  return ok != 0;
}

bool Win32SerialDevice::Close(SerialHandle h) { return CloseHandle(AsHandle(h)) != 0; }

int32_t Win32SerialDevice::LastError() { return static_cast<int32_t>(GetLastError()); }
