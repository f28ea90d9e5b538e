// The reader's POSIX backends: COM numbers by the port list's table, or one given device.
#include <cstdio>
#include <string>

#include "posix/PosixClock.h"
#include "posix/PosixPortRegistry.h"
#include "posix/PosixSerialDevice.h"
#include "tools/reader/ReaderPlatform.h"

ReaderPlatform::ReaderPlatform(const char* device) : clock_(new PosixClock) {
  if (device == nullptr) {
    // The same COM numbers the port list shows: ttyS0 is COM1, ttyUSB0 COM101, ...
    serial_.reset(new PosixSerialDevice(PosixPortRegistry::PortPathMapper()));
  } else {
    const std::string path = device;
    serial_.reset(new PosixSerialDevice([path](const std::string&) { return path; }));
  }
}

ReaderPlatform::~ReaderPlatform() = default;
