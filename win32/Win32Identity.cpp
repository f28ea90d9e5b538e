// Random bytes from RtlGenRandom and the computer's name through the wide call.
#include "win32/Win32Identity.h"

#include "win32/WideText.h"
#include "win32/WindowsApi.h"

// RtlGenRandom, exported by advapi32 under this name (ntsecapi.h gives it only as a macro): the
// system's generator, the one CryptGenRandom draws from, without a provider to open first.
extern "C" BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);

bool Win32Identity::RandomBytes(uint8_t* bytes, size_t count) {
  return SystemFunction036(bytes, static_cast<ULONG>(count)) != FALSE;
}

std::string Win32Identity::HostName() {
  // The DNS host name keeps the case the PC was given, as Linux's host name does.
  wchar_t name[256] = {};
  DWORD size = 255;
  if (GetComputerNameExW(ComputerNameDnsHostname, name, &size) == 0) return std::string();
  return widetext::ToUtf8(name);
}
