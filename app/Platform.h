// The platform services the program is built from, handed to the windows at start-up.
#pragma once

#include "app/SettingsStorage.h"
#include "forms/PortRegistry.h"
#include "link/Clock.h"
#include "link/SerialDevice.h"
#include "ui/Toolkit.h"

struct Platform {
  ui::Toolkit& Toolkit;
  SerialDevice& Serial;
  Clock& Ticks;
  PortRegistry& Registry;
  TextLocale& Locale;
  SettingsStorage& Storage;
};
