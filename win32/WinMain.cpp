// The program's entry point: the Windows services put together into a Platform, then the start-up sequence.
#include "app/Platform.h"
#include "app/Startup.h"
#include "win32/Win32Clock.h"
#include "win32/Win32Identity.h"
#include "win32/Win32PortRegistry.h"
#include "win32/Win32RecordFile.h"
#include "win32/Win32SerialDevice.h"
#include "win32/Win32SettingsStorage.h"
#include "win32/WindowsApi.h"
#include "win32/toolkit/Win32Toolkit.h"

// The program has no command-line options; none of the arguments is used.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The toolkit is made first so that it outlives every form RunApplication creates.
  Win32Toolkit toolkit;
  Win32SerialDevice serial;
  Win32Clock clock;
  Win32PortRegistry registry;
  Win32TextLocale locale;
  Win32SettingsStorage storage;
  Win32RecordFiles records;
  Win32Identity identity;
  Platform platform{toolkit, serial, clock, registry, locale, storage, records, identity};
  RunApplication(platform);
  return 0;
}
