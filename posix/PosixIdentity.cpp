// Random bytes from the kernel and the host's name.
#include "posix/PosixIdentity.h"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

bool PosixIdentity::RandomBytes(uint8_t* bytes, size_t count) {
  size_t got = 0;
  while (got < count) {
    // Blocks only until the kernel's pool is first seeded, early in a boot.
    const ssize_t n = getrandom(bytes + got, count - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

std::string PosixIdentity::HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}
