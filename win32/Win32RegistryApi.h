// The registry functions Win32PortRegistry calls, gathered so that a test can put its own in between.
#pragma once

#include "win32/WindowsApi.h"

struct Win32RegistryApi {
  decltype(&RegOpenKeyExA) OpenKeyEx = &RegOpenKeyExA;
  decltype(&RegQueryInfoKeyA) QueryInfoKey = &RegQueryInfoKeyA;
  decltype(&RegEnumValueA) EnumValue = &RegEnumValueA;
  decltype(&RegQueryValueExA) QueryValueEx = &RegQueryValueExA;
  decltype(&RegCloseKey) CloseKey = &RegCloseKey;
};
