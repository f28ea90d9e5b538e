// simunit: plays a "Satellite de la KVR72 QLE" unit on a pseudo-terminal (or a real serial line) for tests, demos and benchmarks.
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tools/simunit/UnitLogic.h"

namespace {

constexpr uint8_t kConnect = 0x80;
constexpr uint8_t kConnected = 0x81;

struct Options {
  std::string type = "P04";
  uint32_t serial = 305419896;
  unsigned circuit = 5;
  unsigned softMajor = 1;
  unsigned softMinor = 12;
  bool refuse = false;
  bool silent = false;
  long answerAfter = 1;
  long lateMs = 0;
  bool silentAfterHandshake = false;
  bool lowercase = false;
  bool garble = false;
  bool refuseBaud = false;
  long hangupAfter = -1;
  std::string transcript;
  std::string readyFile;
  std::string linkPath;
  std::string device;
};

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  ssize_t ignored = write(g_signalPipe[1], &c, 1);
  (void)ignored;
}

double NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

void Die(const char* what) {
  std::fprintf(stderr, "simunit: %s: %s\n", what, std::strerror(errno));
  std::exit(2);
}

class Unit {
 public:
  explicit Unit(const Options& o) : opt_(o) {
    logic_.Type = o.type;
    logic_.Circuit = static_cast<uint8_t>(o.circuit);
    logic_.SetSerialNumber(o.serial);
    logic_.SetSoftwareVersion(static_cast<uint8_t>(o.softMajor), static_cast<uint8_t>(o.softMinor));
    logic_.IgnoredConnects = static_cast<int>(o.answerAfter - 1);
    logic_.RefuseConnect = o.refuse;
    logic_.Silent = o.silent;
    logic_.SilentAfterHandshake = o.silentAfterHandshake;
    logic_.Lowercase = o.lowercase;
    logic_.GarbleMemory = o.garble;
    logic_.RefuseBaud = o.refuseBaud;
    start_ = NowMs();
    if (!o.transcript.empty()) {
      transcript_ = std::fopen(o.transcript.c_str(), "w");
      if (transcript_ == nullptr) Die("transcript");
    }
  }

  // Opens the line and tells where the host finds it.
  void Listen() {
    if (!opt_.device.empty()) {
      line_ = open(opt_.device.c_str(), O_RDWR | O_NOCTTY);
      if (line_ < 0) Die("open device");
      termios t{};
      if (tcgetattr(line_, &t) != 0) Die("tcgetattr");
      cfmakeraw(&t);
      t.c_cflag |= PARENB | CLOCAL | CREAD;
      cfsetspeed(&t, B9600);
      if (tcsetattr(line_, TCSANOW, &t) != 0) Die("tcsetattr");
      path_ = opt_.device;
    } else {
      line_ = posix_openpt(O_RDWR | O_NOCTTY);
      if (line_ < 0 || grantpt(line_) != 0 || unlockpt(line_) != 0) Die("posix_openpt");
      char name[128];
      if (ptsname_r(line_, name, sizeof name) != 0) Die("ptsname");
      path_ = name;
      // Our own slave descriptor keeps the line alive while the host has it
      // closed: without one the master reads EIO and POLLHUP between two opens.
      // It also sets the line raw so that nothing is echoed before the host
      // configures it. We never read from it.
      keeper_ = open(name, O_RDWR | O_NOCTTY);
      if (keeper_ < 0) Die("open slave");
      termios t{};
      if (tcgetattr(keeper_, &t) != 0) Die("tcgetattr");
      cfmakeraw(&t);
      if (tcsetattr(keeper_, TCSANOW, &t) != 0) Die("tcsetattr");
    }
    if (!opt_.linkPath.empty()) {
      unlink(opt_.linkPath.c_str());
      if (symlink(path_.c_str(), opt_.linkPath.c_str()) != 0) Die("symlink");
    }
    std::printf("%s\n", path_.c_str());
    std::fflush(stdout);
    if (!opt_.readyFile.empty()) {
      const std::string tmp = opt_.readyFile + ".tmp";
      FILE* f = std::fopen(tmp.c_str(), "w");
      if (f == nullptr) Die("ready file");
      std::fprintf(f, "%s\n", path_.c_str());
      std::fclose(f);
      if (rename(tmp.c_str(), opt_.readyFile.c_str()) != 0) Die("ready file");
    }
  }

  void Run() {
    int b = 0;
    while (Get(b)) {
      const std::vector<uint8_t> answer = logic_.OnHostByte(static_cast<uint8_t>(b));
      // A late unit keeps the host waiting for its handshake answer.
      if (opt_.lateMs > 0 && b == kConnect && !answer.empty() && answer[0] == kConnected) Pause(opt_.lateMs);
      for (uint8_t a : answer) Send(a);
      const int code = logic_.TakeRateSwitch();
      if (code >= 0) SwitchRate(static_cast<uint8_t>(code));
    }
    Finish();
  }

 private:
  void Log(const char* direction, uint8_t b) {
    if (transcript_ == nullptr) return;
    std::fprintf(transcript_, "%.3f %s %02X\n", NowMs() - start_, direction, b);
    std::fflush(transcript_);  // a test may read it while we run
  }

  // The next byte from the host; false once a signal or a hang-up ends the session.
  bool Get(int& b) {
    while (!stopping_) {
      pollfd fds[2] = {{line_, POLLIN, 0}, {g_signalPipe[0], POLLIN, 0}};
      const int r = poll(fds, 2, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        Die("poll");
      }
      if (fds[1].revents & POLLIN) {
        stopping_ = true;
        break;
      }
      if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        uint8_t c = 0;
        const ssize_t n = read(line_, &c, 1);
        if (n == 1) {
          Log("H>U", c);
          b = c;
          if (opt_.hangupAfter >= 0 && ++received_ >= opt_.hangupAfter) {
            HangUp();  // mid-exchange, without an answer: the host must cope
            return false;
          }
          return true;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n < 0 && errno == EIO && keeper_ >= 0) {
          usleep(10000);  // cannot happen while our slave descriptor is open; be patient anyway
          continue;
        }
        std::fprintf(stderr, "simunit: the line closed\n");
        stopping_ = true;
      }
    }
    return false;
  }

  void Send(uint8_t b) {
    if (stopping_) return;
    Log("U>H", b);
    while (write(line_, &b, 1) != 1) {
      if (errno != EINTR && errno != EAGAIN) {
        stopping_ = true;
        return;
      }
    }
  }

  void Pause(long ms) {
    pollfd fd{g_signalPipe[0], POLLIN, 0};
    const double until = NowMs() + ms;
    for (double left = ms; left > 0 && !stopping_; left = until - NowMs()) {
      if (poll(&fd, 1, static_cast<int>(left) + 1) > 0) stopping_ = true;
    }
  }

  // On a pty the rate means nothing; on a real line the unit follows the switch.
  void SwitchRate(uint8_t code) {
    if (opt_.device.empty()) return;
    speed_t speed = B9600;
    switch (code) {
      case 0xFF: speed = B4800; break;
      case 0x40: speed = B19200; break;
      case 0x20: speed = B38400; break;
      case 0x14: speed = B57600; break;
      case 0x0A: speed = B115200; break;
      default: break;
    }
    tcdrain(line_);
    termios t{};
    if (tcgetattr(line_, &t) == 0) {
      cfsetspeed(&t, speed);
      tcsetattr(line_, TCSANOW, &t);
    }
  }

  void HangUp() {
    close(line_);
    line_ = -1;
    if (keeper_ >= 0) close(keeper_);
    keeper_ = -1;
    stopping_ = true;
  }

  // Records the bytes the host had already sent when we were told to stop, so a
  // transcript taken right after the host's last call is complete.
  void Finish() {
    if (line_ >= 0) {
      pollfd fd{line_, POLLIN, 0};
      while (poll(&fd, 1, 100) > 0 && (fd.revents & POLLIN)) {
        uint8_t c = 0;
        if (read(line_, &c, 1) != 1) break;
        Log("H>U", c);
      }
    }
    if (transcript_ != nullptr) std::fclose(transcript_);
    transcript_ = nullptr;
    if (!opt_.linkPath.empty()) unlink(opt_.linkPath.c_str());
  }

  const Options& opt_;
  UnitLogic logic_;
  FILE* transcript_ = nullptr;
  double start_ = 0;
  std::string path_;
  int line_ = -1;
  int keeper_ = -1;
  bool stopping_ = false;
  long received_ = 0;
};

void Usage(int code = 2) {
  std::fprintf(code == 0 ? stdout : stderr,
               "usage: simunit [options]\n"
               "Plays the unit on a new pseudo-terminal and prints the path of its slave.\n"
               "  --type TEXT              unit type sent for 0x86 (default P04)\n"
               "  --serial N               serial number at 120..123 (default 305419896)\n"
               "  --circuit N              circuit version for 0x87 (default 5)\n"
               "  --soft-major N           software version at 126 (default 1)\n"
               "  --soft-minor N           software version at 127 (default 12)\n"
               "  --refuse                 answer every connect request with 0x85\n"
               "  --silent                 answer nothing at all\n"
               "  --answer-after K         stay silent to the first K-1 connect requests\n"
               "  --late MS                answer connect requests MS ms late\n"
               "  --silent-after-handshake answer nothing once a handshake succeeded\n"
               "  --lowercase              send hexadecimal letters in lowercase\n"
               "  --garble                 send memory bytes with a non-hex second character\n"
               "  --refuse-baud            answer baud switches with 0x85\n"
               "  --hangup-after N         close the line when the N-th byte arrives\n"
               "  --transcript FILE        one line per byte: ms, H>U or U>H, hex value\n"
               "  --ready-file FILE        write the slave's path there once listening\n"
               "  --link PATH              make PATH a symlink to the slave\n"
               "  --device PATH            use this serial device instead of a pty\n"
               "Ends on SIGTERM or SIGINT, after recording the bytes already received.\n");
  std::exit(code);
}

long Number(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0') Usage();
  return static_cast<long>(v);
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kType = 1000, kSerial, kCircuit, kSoftMajor, kSoftMinor, kRefuse, kSilent, kAnswerAfter,
    kLate, kSilentAfter, kLowercase, kGarble, kRefuseBaud, kHangupAfter, kTranscript, kReadyFile,
    kLink, kDevice
  };
  static const option kLong[] = {
      {"type", required_argument, nullptr, kType},
      {"serial", required_argument, nullptr, kSerial},
      {"circuit", required_argument, nullptr, kCircuit},
      {"soft-major", required_argument, nullptr, kSoftMajor},
      {"soft-minor", required_argument, nullptr, kSoftMinor},
      {"refuse", no_argument, nullptr, kRefuse},
      {"silent", no_argument, nullptr, kSilent},
      {"answer-after", required_argument, nullptr, kAnswerAfter},
      {"late", required_argument, nullptr, kLate},
      {"silent-after-handshake", no_argument, nullptr, kSilentAfter},
      {"lowercase", no_argument, nullptr, kLowercase},
      {"garble", no_argument, nullptr, kGarble},
      {"refuse-baud", no_argument, nullptr, kRefuseBaud},
      {"hangup-after", required_argument, nullptr, kHangupAfter},
      {"transcript", required_argument, nullptr, kTranscript},
      {"ready-file", required_argument, nullptr, kReadyFile},
      {"link", required_argument, nullptr, kLink},
      {"device", required_argument, nullptr, kDevice},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0}};
  Options o;
  int c = 0;
  while ((c = getopt_long(argc, argv, "", kLong, nullptr)) != -1) {
    switch (c) {
      case kType: o.type = optarg; break;
      case kSerial: o.serial = static_cast<uint32_t>(Number(optarg)); break;
      case kCircuit: o.circuit = static_cast<unsigned>(Number(optarg)); break;
      case kSoftMajor: o.softMajor = static_cast<unsigned>(Number(optarg)); break;
      case kSoftMinor: o.softMinor = static_cast<unsigned>(Number(optarg)); break;
      case kRefuse: o.refuse = true; break;
      case kSilent: o.silent = true; break;
      case kAnswerAfter: o.answerAfter = Number(optarg); break;
      case kLate: o.lateMs = Number(optarg); break;
      case kSilentAfter: o.silentAfterHandshake = true; break;
      case kLowercase: o.lowercase = true; break;
      case kGarble: o.garble = true; break;
      case kRefuseBaud: o.refuseBaud = true; break;
      case kHangupAfter: o.hangupAfter = Number(optarg); break;
      case kTranscript: o.transcript = optarg; break;
      case kReadyFile: o.readyFile = optarg; break;
      case kLink: o.linkPath = optarg; break;
      case kDevice: o.device = optarg; break;
      case 'h': Usage(0); break;
      default: Usage();
    }
  }
  if (optind != argc) Usage();

  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) Die("pipe");
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Unit unit(o);
  unit.Listen();
  unit.Run();
  return 0;
}
