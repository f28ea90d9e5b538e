// The platform services the program is built from, handed to the windows at start-up.
#pragma once

#include "platform/SettingsStorage.h"
#include "platform/PortRegistry.h"
#include "platform/Clock.h"
#include "platform/SerialDevice.h"
#include "ui/Toolkit.h"

struct Platform {
  ui::Toolkit& Toolkit;
  SerialDevice& Serial;
  Clock& Ticks;
  PortRegistry& Registry;
  TextLocale& Locale;
  SettingsStorage& Storage;
};
