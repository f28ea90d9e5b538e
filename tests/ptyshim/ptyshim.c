/* ptyshim: makes a pseudo-terminal take line settings as a UART would, and records what was asked for. */
/*
 * A pty slave keeps the speed and CS8 but drops PARENB; glibc's tcsetattr sees that
 * the parity did not stick and fails with EINVAL, so any program that applies an
 * even-parity setting twice cannot use a pty as its serial port. Loaded with
 * LD_PRELOAD (Wine included: the serial ioctls run in the client process) or linked
 * into a test binary, this tcsetattr lets such a request succeed on a pty slave.
 *
 * With BRAVELLE_PTYSHIM_LOG naming a file, every call appends one line:
 *   tcsetattr <rate> <bits><parity><stop> <result>      e.g. "tcsetattr 9600 8E1 0"
 *
 * Two more misbehaviours of real adapters, for tests, each switched on by the environment:
 * - BRAVELLE_PTYSHIM_REFUSE_PARITY=1: a pty slave refuses any setting with parity
 *   (EINVAL, nothing applied), as USB bridges whose drivers lack parity support do.
 * - BRAVELLE_PTYSHIM_MODEM_LINES=<n>: pty slaves get modem lines (TIOCMGET, TIOCMSET,
 *   TIOCMBIS, TIOCMBIC), starting as the TIOCM_* bits n, kept per device so that any
 *   descriptor of the same pty sees them; each change is logged as "modem <bits>".
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

typedef int (*tcsetattr_fn)(int, int, const struct termios*);

/* Unix98 pty slaves: majors 136 to 143. */
static int is_pty_slave(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static unsigned rate_of(speed_t s) {
  static const struct { speed_t s; unsigned r; } table[] = {
      {B0, 0},         {B110, 110},       {B300, 300},       {B600, 600},       {B1200, 1200},
      {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
      {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
  for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i) {
    if (table[i].s == s) return table[i].r;
  }
  return (unsigned)s;
}

static void log_line(const char* line, int n) {
  const char* path = getenv("BRAVELLE_PTYSHIM_LOG");
  if (path == NULL || *path == '\0') return;
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  /* One write per line, so that processes sharing the file do not interleave. */
  ssize_t ignored = write(fd, line, (size_t)n);
  (void)ignored;
  close(fd);
}

static void record(const struct termios* t, int result) {
  const char* path = getenv("BRAVELLE_PTYSHIM_LOG");
  if (path == NULL || *path == '\0') return;
  int bits = 8;
  switch (t->c_cflag & CSIZE) {
    case CS5: bits = 5; break;
    case CS6: bits = 6; break;
    case CS7: bits = 7; break;
    default: break;
  }
  char parity = 'N';
  if (t->c_cflag & PARENB) parity = (t->c_cflag & PARODD) ? 'O' : 'E';
  char line[96];
  const int n = snprintf(line, sizeof line, "tcsetattr %u %d%c%d %d\n", rate_of(cfgetospeed(t)), bits,
                         parity, (t->c_cflag & CSTOPB) ? 2 : 1, result);
  log_line(line, n);
}

static int refuses_parity(void) {
  const char* v = getenv("BRAVELLE_PTYSHIM_REFUSE_PARITY");
  return v != NULL && *v != '\0' && *v != '0';
}

int tcsetattr(int fd, int action, const struct termios* t) {
  static tcsetattr_fn real = NULL;
  if (real == NULL) real = (tcsetattr_fn)dlsym(RTLD_NEXT, "tcsetattr");
  if ((t->c_cflag & PARENB) && refuses_parity() && is_pty_slave(fd)) {
    record(t, -1);
    errno = EINVAL;
    return -1;
  }
  int result = real(fd, action, t);
  int error = errno;
  if (result != 0 && error == EINVAL && is_pty_slave(fd)) {
    /* The kernel took the request (it is glibc's read-back that failed): confirm
       with the bare ioctl, whose structure is a prefix of glibc's. */
    unsigned long request = action == TCSANOW ? TCSETS : action == TCSADRAIN ? TCSETSW : TCSETSF;
    if (ioctl(fd, request, t) == 0) {
      result = 0;
      error = 0;
    }
  }
  record(t, result);
  errno = error;
  return result;
}

/* Modem lines of pty slaves, by device number. Tests run one process per pty at
   most, so a small table without locking is enough. */
static struct {
  dev_t dev;
  int lines;
} modem[32];
static int modem_count = 0;

static int* modem_lines(int fd) {
  const char* initial = getenv("BRAVELLE_PTYSHIM_MODEM_LINES");
  if (initial == NULL || *initial == '\0' || !is_pty_slave(fd)) return NULL;
  struct stat st;
  if (fstat(fd, &st) != 0) return NULL;
  for (int i = 0; i < modem_count; ++i) {
    if (modem[i].dev == st.st_rdev) return &modem[i].lines;
  }
  if (modem_count == (int)(sizeof modem / sizeof modem[0])) return NULL;
  modem[modem_count].dev = st.st_rdev;
  modem[modem_count].lines = atoi(initial);
  return &modem[modem_count++].lines;
}

typedef int (*ioctl_fn)(int, unsigned long, ...);

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) {
    int* lines = modem_lines(fd);
    if (lines != NULL) {
      int* value = (int*)arg;
      if (request == TIOCMGET) {
        *value = *lines;
        return 0;
      }
      if (request == TIOCMSET) *lines = *value;
      if (request == TIOCMBIS) *lines |= *value;
      if (request == TIOCMBIC) *lines &= ~*value;
      char line[32];
      log_line(line, snprintf(line, sizeof line, "modem %d\n", *lines));
      return 0;
    }
  }
  static ioctl_fn real = NULL;
  if (real == NULL) real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  return real(fd, request, arg);
}
