// The serial device and clock of the platform the reader is built for.
#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/SerialDevice.h"

class ReaderPlatform {
 public:
  // device, when given, is the device every port name stands for (POSIX only).
  explicit ReaderPlatform(const char* device);
  ~ReaderPlatform();
  SerialDevice& Serial() { return *serial_; }
  Clock& Ticks() { return *clock_; }

 private:
  std::unique_ptr<SerialDevice> serial_;
  std::unique_ptr<Clock> clock_;
};
