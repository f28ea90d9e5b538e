// termios, poll and flock behind the SerialDevice seam, shaped to behave like a Windows COM port.
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

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

struct RateEntry {
  uint32_t rate;
  speed_t speed;
};

const RateEntry kRates[] = {{110, B110},     {300, B300},       {600, B600},       {1200, B1200},
                            {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},
                            {38400, B38400}, {57600, B57600},   {115200, B115200}, {230400, B230400},
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

uint32_t RateFor(speed_t speed) {
  for (const RateEntry& e : kRates) {
    if (e.speed == speed) return e.rate;
  }
  return 0;
}

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The Windows rule for a transfer of one byte: multiplier x 1 + constant, where 0 means
// no limit at all; MAXDWORD interval with zero totals means "return at once".
int ReadLimitMs(const CommTimeouts& t) {
  if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    return 0;
  }
  const uint64_t multiplier = t.ReadTotalTimeoutMultiplier == kMaxDword ? 0 : t.ReadTotalTimeoutMultiplier;
  const uint64_t total = multiplier + t.ReadTotalTimeoutConstant;
  if (total == 0) return -1;
  return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

int WriteLimitMs(const CommTimeouts& t) {
  const uint64_t total = static_cast<uint64_t>(t.WriteTotalTimeoutMultiplier) + t.WriteTotalTimeoutConstant;
  if (total == 0) return -1;
  return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

// Modem-line ioctls: a device without modem lines (every pty) is not an error.
bool ModemLinesMissing(int error) { return error == ENOTTY || error == EINVAL; }

CommDcb DcbFromTermios(int fd, const termios& t) {
  CommDcb d{};
  d.DCBlength = sizeof(CommDcb);
  uint32_t custom = 0;
  d.BaudRate = RateFor(cfgetospeed(&t));
  if (d.BaudRate == 0 && GetCustomRate(fd, custom)) d.BaudRate = custom;
  d.Flags = dcbflag::Binary;
  // Input checking is never switched on by SetState (see there); a parity
  // setting is what asks for it.
  if ((t.c_iflag & INPCK) || (t.c_cflag & PARENB)) d.Flags |= dcbflag::Parity;
  if (t.c_iflag & IXON) d.Flags |= dcbflag::OutX;
  if (t.c_iflag & IXOFF) d.Flags |= dcbflag::InX;
  int lines = 0;
  const bool haveLines = ioctl(fd, TIOCMGET, &lines) == 0;
  if (t.c_cflag & CRTSCTS) {
    d.Flags |= dcbflag::OutxCtsFlow | (2u << dcbflag::RtsControlShift);
  } else if (haveLines && (lines & TIOCM_RTS)) {
    d.Flags |= 1u << dcbflag::RtsControlShift;
  }
  if (haveLines && (lines & TIOCM_DTR)) d.Flags |= 1u << dcbflag::DtrControlShift;
  switch (t.c_cflag & CSIZE) {
    case CS5: d.ByteSize = 5; break;
    case CS6: d.ByteSize = 6; break;
    case CS7: d.ByteSize = 7; break;
    default: d.ByteSize = 8; break;
  }
  if (t.c_cflag & PARENB) {
    const bool odd = (t.c_cflag & PARODD) != 0;
    d.Parity = (t.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : kEvenParity);
  }
  d.StopBits = (t.c_cflag & CSTOPB) ? 2 : kOneStopBit;
  d.XonChar = static_cast<char>(t.c_cc[VSTART]);
  d.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
  return d;
}

}  // namespace

struct PosixSerialDevice::Port {
  int fd = -1;
  termios original{};  // as found at open, put back verbatim by a restore
  CommDcb originalDcb{};
  // DTR and RTS as found at open (when the device has modem lines), and
  // whether SetState has changed them since, so Close can put them back.
  bool haveLines = false;
  int originalLines = 0;
  bool linesChanged = false;
  CommTimeouts timeouts{};  // a port starts without timeouts, as on Windows
  std::unique_ptr<Port> next;
};

PosixSerialDevice::PosixSerialDevice() : mapper_(DefaultPortPath) {}

PosixSerialDevice::PosixSerialDevice(PortPathMapper mapper) : mapper_(std::move(mapper)) {}

// DTR and RTS go back to what they were at open: a unit (or a modem) that the
// next program finds with DTR held off by us would look switched off. Only the
// two lines the DCB drives are touched; a failure here changes nothing for the
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

PosixSerialDevice::Port* PosixSerialDevice::Find(SerialHandle h) {
  for (Port* p = ports_.get(); p != nullptr; p = p->next.get()) {
    if (p->fd == h) return p;
  }
  return nullptr;
}

SerialHandle PosixSerialDevice::Open(const char* path) {
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
  port->originalDcb = DcbFromTermios(fd, port->original);
  port->haveLines = ioctl(fd, TIOCMGET, &port->originalLines) == 0;
  port->next = std::move(ports_);
  ports_ = std::move(port);
  return fd;
}

bool PosixSerialDevice::GetState(SerialHandle h, CommDcb& dcb) {
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  termios t{};
  if (tcgetattr(p->fd, &t) != 0) return Fail(errno);
  dcb = DcbFromTermios(p->fd, t);
  return true;
}

bool PosixSerialDevice::SetState(SerialHandle h, const CommDcb& dcb) {
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  // Putting back what GetState reported at open restores the termios exactly as
  // found, bits that a DCB cannot express included.
  if (std::memcmp(&dcb, &p->originalDcb, sizeof dcb) == 0) {
    if (tcsetattr(p->fd, TCSANOW, &p->original) != 0) return Fail(errno);
    return true;
  }
  termios t{};
  if (tcgetattr(p->fd, &t) != 0) return Fail(errno);
  cfmakeraw(&t);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return Fail(EINVAL);
  }
  switch (dcb.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return Fail(EINVAL);
  }
  if (dcb.StopBits != kOneStopBit) t.c_cflag |= CSTOPB;
  // A byte with a parity error is passed on as received, as the Windows line
  // does with fParity and no error character. With INPCK the Linux line
  // discipline would zero it (or drop it under IGNPAR, or mark it under
  // PARMRK): a zeroed character reads as a plausible answer. So parity is
  // generated on output but not checked on input.
  t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | ISTRIP);
  if (dcb.Flags & dcbflag::OutX) t.c_iflag |= IXON;
  if (dcb.Flags & dcbflag::InX) t.c_iflag |= IXOFF;
  const uint32_t rts = (dcb.Flags >> dcbflag::RtsControlShift) & 3u;
  const uint32_t dtr = (dcb.Flags >> dcbflag::DtrControlShift) & 3u;
  if ((dcb.Flags & dcbflag::OutxCtsFlow) || rts == 2) t.c_cflag |= CRTSCTS;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  speed_t speed = B38400;
  const bool standard = SpeedFor(dcb.BaudRate, speed);
  if (dcb.BaudRate == 0) return Fail(EINVAL);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  if (tcsetattr(p->fd, TCSANOW, &t) != 0) return Fail(errno);
  if (!standard && !SetCustomRate(p->fd, dcb.BaudRate)) return Fail(errno);

  if (p->haveLines) p->linesChanged = true;
  int line = TIOCM_DTR;
  if (ioctl(p->fd, dtr == 0 ? TIOCMBIC : TIOCMBIS, &line) != 0 && !ModemLinesMissing(errno)) {
    return Fail(errno);
  }
  if (rts != 2) {
    line = TIOCM_RTS;
    if (ioctl(p->fd, rts == 0 ? TIOCMBIC : TIOCMBIS, &line) != 0 && !ModemLinesMissing(errno)) {
      return Fail(errno);
    }
  }
  return true;
}

bool PosixSerialDevice::GetTimeouts(SerialHandle h, CommTimeouts& t) {
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  t = p->timeouts;
  return true;
}

bool PosixSerialDevice::SetTimeouts(SerialHandle h, const CommTimeouts& t) {
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  p->timeouts = t;
  return true;
}

bool PosixSerialDevice::Purge(SerialHandle h, uint32_t flags) {
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
  const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
  if (!input && !output) return true;
  const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
  if (tcflush(p->fd, queue) != 0) return Fail(errno);
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

bool PosixSerialDevice::Write(SerialHandle h, uint8_t byte, uint32_t& count) {
  count = 0;
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  const int limit = WriteLimitMs(p->timeouts);
  const int64_t deadline = limit < 0 ? -1 : NowMs() + limit;
  for (;;) {
    const ssize_t n = ::write(p->fd, &byte, 1);
    if (n == 1) {
      count = 1;
      return true;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail(errno);
    int error = 0;
    const int ready = WaitReady(p->fd, POLLOUT, deadline, wake_, error);
    if (ready == 0) return true;  // the write timeout ran out: success, nothing moved
    if (ready < 0) return Fail(error);
  }
}

bool PosixSerialDevice::Read(SerialHandle h, uint8_t& byte, uint32_t& count) {
  count = 0;
  Port* p = Find(h);
  if (p == nullptr) return Fail(EBADF);
  const int limit = ReadLimitMs(p->timeouts);
  const int64_t deadline = limit < 0 ? -1 : NowMs() + limit;
  for (;;) {
    // In a lock-step exchange the byte is seldom there yet: wait first, then read,
    // which costs one system call less per byte than trying the read first.
    if (limit != 0) {
      int error = 0;
      const int ready = WaitReady(p->fd, POLLIN, deadline, wake_, error);
      if (ready == 0) return true;  // the read timeout ran out: success without a byte
      if (ready < 0) return Fail(error);
    }
    uint8_t got = 0;
    const ssize_t n = ::read(p->fd, &got, 1);
    if (n == 1) {
      byte = got;
      count = 1;
      return true;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail(errno);
    if (n == 0) {
      // End of file on a tty: the other end hung up, unless the line merely has
      // no byte under VMIN 0; poll tells the two apart.
      pollfd pfd{p->fd, POLLIN, 0};
      if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR))) return Fail(EIO);
    }
    if (limit == 0) return true;
  }
}

bool PosixSerialDevice::Close(SerialHandle h) {
  for (std::unique_ptr<Port>* link = &ports_; *link; link = &(*link)->next) {
    if ((*link)->fd != h) continue;
    const int fd = (*link)->fd;
    RestoreLines(**link);
    *link = std::move((*link)->next);
    ioctl(fd, TIOCNXCL);
    // Linux releases the descriptor even when close reports EINTR.
    if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
    return true;
  }
  return Fail(EBADF);
}

int32_t PosixSerialDevice::LastError() { return lastError_; }
