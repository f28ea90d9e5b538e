// termios, poll and flock behind the SerialDevice seam.
#include "posix/PosixSerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "posix/PosixCustomRate.h"

namespace {

struct RateEntry {
  uint32_t rate;
  speed_t speed;
};

const RateEntry kRates[] = {{110, B110},       {300, B300},      {600, B600},       {1200, B1200},
                            {2400, B2400},     {4800, B4800},    {9600, B9600},     {19200, B19200},
                            {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
                            {460800, B460800}, {921600, B921600}};

bool SpeedFor(uint32_t rate, speed_t& speed) {
  for (const RateEntry& e : kRates) {
    if (e.rate == rate) {
      speed = e.speed;
      return true;
    }
  }
  return false;
}

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The size, parity and stop-bit flags of a line; false for a size termios cannot make.
bool FramingOf(const LineSettings& line, tcflag_t& flags) {
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  // In the order of Parity: none, odd, even, mark, space.
  static const tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
  if (line.dataBits < 5 || line.dataBits > 8) return false;
  flags = kSizes[line.dataBits - 5] | kParities[static_cast<int>(line.parity)] |
          (line.stopBits != StopBits::One ? CSTOPB : 0);
  return true;
}

// Modem-line ioctls: a device without modem lines (every pty) is not an error.
bool ModemLinesMissing(int error) { return error == ENOTTY || error == EINVAL; }

}  // namespace

struct PosixSerialDevice::Port {
  int fd = -1;
  termios original{};  // as found at open, put back verbatim at close
  // DTR and RTS as found at open (when the device has modem lines), and
  // whether the line settings have changed them since, so Close can put them back.
  bool haveLines = false;
  int originalLines = 0;
  bool linesChanged = false;
  std::unique_ptr<Port> next;
};

PosixSerialDevice::PosixSerialDevice() : mapper_(DefaultPortPath) {}

PosixSerialDevice::PosixSerialDevice(PortPathMapper mapper) : mapper_(std::move(mapper)) {}

// DTR and RTS go back to what they were at open: a unit (or a modem) that the
// next program finds with DTR held off by us would look switched off. Only the
// two lines the settings drive are touched; a failure here changes nothing for the
// close itself.
void PosixSerialDevice::RestoreLines(Port& p) {
  if (!p.haveLines || !p.linesChanged) return;
  int current = 0;
  if (ioctl(p.fd, TIOCMGET, &current) != 0) return;
  const int mask = TIOCM_DTR | TIOCM_RTS;
  const int wanted = (current & ~mask) | (p.originalLines & mask);
  if (wanted != current) ioctl(p.fd, TIOCMSET, &wanted);
  p.linesChanged = false;
}

PosixSerialDevice::~PosixSerialDevice() {
  for (Port* p = ports_.get(); p != nullptr; p = p->next.get()) {
    RestoreLines(*p);
    ioctl(p->fd, TIOCNXCL);
    ::close(p->fd);
  }
}

std::string PosixSerialDevice::DefaultPortPath(const std::string& portPath) {
  static const char kPrefix[] = "\\\\.\\COM";
  if (portPath.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return portPath;
  const char* digits = portPath.c_str() + sizeof kPrefix - 1;
  char* end = nullptr;
  const long n = std::strtol(digits, &end, 10);
  // COM0 and below name no port; an empty result makes open fail with ENOENT.
  if (end == digits || *end != '\0' || n < 1) return std::string();
  return "/dev/ttyS" + std::to_string(n - 1);
}

PosixSerialDevice::PortPathMapper PosixSerialDevice::PortDirectory(const std::string& directory) {
  return [directory](const std::string& portPath) {
    static const char kPrefix[] = "\\\\.\\";
    if (portPath.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return portPath;
    return directory + "/" + portPath.substr(sizeof kPrefix - 1);
  };
}

bool PosixSerialDevice::Fail(int error) {
  lastError_ = error;
  return false;
}

Transfer PosixSerialDevice::Failed(int error) {
  lastError_ = error;
  return Transfer::Failed;
}

PosixSerialDevice::Port* PosixSerialDevice::Find(SerialHandle h) {
  for (Port* p = ports_.get(); p != nullptr; p = p->next.get()) {
    if (p->fd == h) return p;
  }
  return nullptr;
}

SerialHandle PosixSerialDevice::Open(const char* path, const LineSettings& line) {
  const std::string device = mapper_(path);
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return kInvalidSerialHandle;
  }
  auto reject = [&](int error) {
    ::close(fd);
    Fail(error);
    return kInvalidSerialHandle;
  };
  if (!isatty(fd)) return reject(ENOTTY);
  // Share mode 0 on Windows: a second program must not get the port. flock holds
  // between cooperating programs even for root, whom TIOCEXCL lets through.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return reject(errno == EWOULDBLOCK ? EBUSY : errno);
  ioctl(fd, TIOCEXCL);
  auto port = std::make_unique<Port>();
  port->fd = fd;
  if (tcgetattr(fd, &port->original) != 0) return reject(errno);
  port->haveLines = ioctl(fd, TIOCMGET, &port->originalLines) == 0;
  if (!Apply(*port, line)) {
    // The port goes back to what it was; the error is the one the settings met.
    const int32_t error = lastError_;
    tcsetattr(fd, TCSANOW, &port->original);
    RestoreLines(*port);
    ioctl(fd, TIOCNXCL);
    return reject(error);
  }
  port->next = std::move(ports_);
  ports_ = std::move(port);
  return fd;
}

bool PosixSerialDevice::Configure(SerialHandle h, const LineSettings& line) {
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  return Apply(*p, line);
}

bool PosixSerialDevice::Apply(Port& p, const LineSettings& line) {
  termios t{};
  if (tcgetattr(p.fd, &t) != 0) return Fail(errno);
  cfmakeraw(&t);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tcflag_t framing = 0;
  if (!FramingOf(line, framing)) return Fail(EINVAL);
  t.c_cflag |= framing;
  // A byte with a parity error is passed on as received, as the Windows line
  // does without an error character. With INPCK the Linux line discipline
  // would zero it (or drop it under IGNPAR, or mark it under PARMRK): a zeroed
  // character reads as a plausible answer. So parity is generated on output
  // but not checked on input.
  t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | ISTRIP | IXON | IXOFF);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  speed_t speed = B38400;
  const bool standard = SpeedFor(line.rate, speed);
  if (line.rate == 0) return Fail(EINVAL);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  if (tcsetattr(p.fd, TCSANOW, &t) != 0) return Fail(errno);
  if (!standard && !SetCustomRate(p.fd, line.rate)) return Fail(errno);

  if (p.haveLines) p.linesChanged = true;
  int bit = TIOCM_DTR;
  if (ioctl(p.fd, line.dtr ? TIOCMBIS : TIOCMBIC, &bit) != 0 && !ModemLinesMissing(errno)) return Fail(errno);
  bit = TIOCM_RTS;
  if (ioctl(p.fd, line.rts ? TIOCMBIS : TIOCMBIC, &bit) != 0 && !ModemLinesMissing(errno)) return Fail(errno);
  return true;
}

bool PosixSerialDevice::Discard(SerialHandle h) {
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  if (tcflush(p->fd, TCIOFLUSH) != 0) return Fail(errno);
  return true;
}

// Waits for the descriptor to be ready for events until deadline (ms on the
// monotonic clock, -1 without limit). 1: ready, 0: limit reached, -1: the line hung
// up or failed, or the wake descriptor became readable (EINTR), with the error in error.
static int WaitReady(int fd, short events, int64_t deadline, int wake, int& error) {
  for (;;) {
    int wait = -1;
    if (deadline >= 0) {
      const int64_t left = deadline - NowMs();
      if (left <= 0) return 0;
      wait = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    pollfd pfd[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int r = poll(pfd, wake >= 0 ? 2 : 1, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return -1;
    }
    if (wake >= 0 && (pfd[1].revents & POLLIN)) {
      error = EINTR;
      return -1;
    }
    if (r == 0) {
      if (deadline < 0) continue;
      return 0;
    }
    if (pfd[0].revents & events) return 1;
    error = (pfd[0].revents & POLLNVAL) ? EBADF : EIO;
    return -1;
  }
}

Transfer PosixSerialDevice::Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) {
  Port* p = Find(h);
  if (p == nullptr) return Failed(EBADF);
  const int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    const ssize_t n = ::write(p->fd, &byte, 1);
    if (n == 1) return Transfer::Moved;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Failed(errno);
    int error = 0;
    const int ready = WaitReady(p->fd, POLLOUT, deadline, wake_, error);
    if (ready == 0) return Transfer::TimedOut;
    if (ready < 0) return Failed(error);
  }
}

Transfer PosixSerialDevice::Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) {
  Port* p = Find(h);
  if (p == nullptr) return Failed(EBADF);
  const int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    // In a lock-step exchange the byte is seldom there yet: wait first, then read,
    // which costs one system call less per byte than trying the read first.
    int error = 0;
    const int ready = WaitReady(p->fd, POLLIN, deadline, wake_, error);
    if (ready == 0) return Transfer::TimedOut;
    if (ready < 0) return Failed(error);
    uint8_t got = 0;
    const ssize_t n = ::read(p->fd, &got, 1);
    if (n == 1) {
      byte = got;
      return Transfer::Moved;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Failed(errno);
    if (n == 0) {
      // End of file on a tty: the other end hung up, unless the line merely has
      // no byte under VMIN 0; poll tells the two apart.
      pollfd pfd{p->fd, POLLIN, 0};
      if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR))) return Failed(EIO);
    }
  }
}

bool PosixSerialDevice::Close(SerialHandle h) {
  for (std::unique_ptr<Port>* link = &ports_; *link; link = &(*link)->next) {
    if ((*link)->fd != h) continue;
    const int fd = (*link)->fd;
    // The termios as found at open, bits the settings cannot express included;
    // the descriptor is given up whatever that says, the first failure reported.
    const bool restored = tcsetattr(fd, TCSANOW, &(*link)->original) == 0;
    const int restoreError = errno;
    RestoreLines(**link);
    *link = std::move((*link)->next);
    ioctl(fd, TIOCNXCL);
    // Linux releases the descriptor even when close reports EINTR.
    const bool closed = ::close(fd) == 0 || errno == EINTR;
    if (!restored) return Fail(restoreError);
    return closed || Fail(errno);
  }
  return Fail(EBADF);
}

int32_t PosixSerialDevice::LastError() { return lastError_; }

PortProblem PosixSerialDevice::ProblemOf(int32_t code) {
  switch (code) {
    case EBUSY:
      return PortProblem::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
      return PortProblem::Missing;
    case EACCES:
    case EPERM:
      return PortProblem::Permission;
    case ENOTTY:
      return PortProblem::NotSerial;
    default:
      return PortProblem::Other;
  }
}
