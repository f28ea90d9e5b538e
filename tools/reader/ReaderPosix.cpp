// The reader's POSIX backends: ports by the default COMn rule, or one given device.
#include <cstdio>
#include <string>

#include "posix/PosixClock.h"
#include "posix/PosixSerialDevice.h"
#include "tools/reader/ReaderPlatform.h"

ReaderPlatform::ReaderPlatform(const char* device) : clock_(new PosixClock) {
  if (device == nullptr) {
    serial_.reset(new PosixSerialDevice);
  } else {
    const std::string path = device;
    serial_.reset(new PosixSerialDevice([path](const std::string&) { return path; }));
  }
}

ReaderPlatform::~ReaderPlatform() = default;
