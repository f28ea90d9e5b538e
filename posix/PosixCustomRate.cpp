// termios2 access in a file of its own: <asm/termbits.h> cannot live beside <termios.h>.
#include "posix/PosixCustomRate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool SetCustomRate(int fd, uint32_t rate) {
  struct termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = rate;
  t.c_ospeed = rate;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool GetCustomRate(int fd, uint32_t& rate) {
  struct termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  rate = (t.c_cflag & CBAUD) == BOTHER ? t.c_ospeed : 0;
  return true;
}
