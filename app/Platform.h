// The services the window program is built from: the backends of its system, put together by the entry
// point and handed to start-up, which gives each window the ones it uses.
#pragma once

#include "platform/Clock.h"
#include "platform/Identity.h"
#include "platform/PortRegistry.h"
#include "platform/RecordFile.h"
#include "platform/SerialDevice.h"
#include "platform/SettingsStorage.h"
#include "ui/Toolkit.h"

struct Platform {
  ui::Toolkit& Toolkit;
  SerialDevice& Serial;
  Clock& Ticks;
  PortRegistry& Registry;
  TextLocale& Locale;
  SettingsStorage& Storage;
  RecordFiles& Records;
  StationIdentity& Identity;
};
