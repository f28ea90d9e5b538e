// The ports on Windows as bravelle-cli names and reaches them, and the system's words for what goes
// wrong with them.
#include <cctype>
#include <cstring>

#include "cli/CliWin32.h"
#include "ports/PortSelection.h"
#include "win32/SystemText.h"
#include "win32/Win32SerialDevice.h"
#include "win32/WindowsApi.h"

std::string Win32PortNaming::DevicePath(const std::string& port) {
  // "\\.\" lets CreateFileA open COM10 and above.
  return IsComName(port) ? "\\\\.\\" + ComName(port) : port;
}

bool Win32PortNaming::SamePort(const std::string& a, const std::string& b) {
  return _stricmp(ComName(a).c_str(), ComName(b).c_str()) == 0;
}

std::string Win32PortNaming::CanonicalPort(const std::string& port) {
  std::string name = ComName(port);
  if (!IsComName(name)) return port;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::unique_ptr<SerialDevice> Win32PortAccess::NewSerialDevice() {
  return std::make_unique<Win32SerialDevice>();
}

bool Win32PortAccess::PortPresent(const std::string& port) {
  const std::string name = ComName(port);
  if (!IsComName(name)) return GetFileAttributesA(port.c_str()) != INVALID_FILE_ATTRIBUTES;
  char target[1024];
  if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) return true;
  // Some port drivers (and Wine, for ports it did not find at start-up) give
  // no DOS device name to look up; the port list names every port that is
  // plugged in, and loses a USB bridge's port when it is pulled out.
  return ports_.Names(name);
}

std::string Win32SystemWords::SystemMessage(int32_t code) { return SystemText(static_cast<uint32_t>(code)); }
