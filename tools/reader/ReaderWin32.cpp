// The reader's Windows backends: the port is always the system's COMn.
#include <cstdio>

#include "tools/reader/ReaderPlatform.h"
#include "win32/Win32Clock.h"
#include "win32/Win32SerialDevice.h"

ReaderPlatform::ReaderPlatform(const char* device)
    : serial_(new Win32SerialDevice), clock_(new Win32Clock) {
  if (device != nullptr) std::fprintf(stderr, "reader: --device is ignored on Windows\n");
}

ReaderPlatform::~ReaderPlatform() = default;
