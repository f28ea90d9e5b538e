// What ship needs of Windows: odbc32.dll, Windows' own driver manager, loaded from the system folder when
// ship runs (a reading never loads it, and the program stays one file).
#include "cli/CliWin32.h"
#include "win32/WindowsApi.h"

const odbc::Calls* Win32ShipAccess::Odbc(std::string& why) {
  if (loaded_) return &calls_;
  // From the system folder only: an odbc32.dll beside the program or in the working folder is not ours.
  const HMODULE library = LoadLibraryExW(L"odbc32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) {
    why = "odbc32.dll: " + std::to_string(GetLastError());
    return nullptr;
  }
  std::string missing;
  const auto lookup = [](void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
  };
  if (!odbc::FillCalls(calls_, lookup, library, missing)) {
    why = "odbc32.dll: " + missing;
    return nullptr;
  }
  loaded_ = true;
  return &calls_;
}
