// What ship needs of a POSIX system: unixODBC's driver manager loaded at run time (a reading never needs
// it, and the program builds without its development files).
#include <dlfcn.h>

#include "cli/CliPosix.h"

// The driver manager stays loaded to the end: drivers it loaded may have left threads or handlers.
PosixShipAccess::~PosixShipAccess() = default;

const odbc::Calls* PosixShipAccess::Odbc(std::string& why) {
  if (loaded_) return &calls_;
  // Debian's unixodbc: the driver manager's run-time library, whatever development files are installed.
  void* library = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* text = dlerror();
    why = text != nullptr ? text : "libodbc.so.2";
    return nullptr;
  }
  std::string missing;
  if (!odbc::FillCalls(calls_, dlsym, library, missing)) {
    why = "libodbc.so.2: " + missing;
    return nullptr;
  }
  loaded_ = true;
  return &calls_;
}
