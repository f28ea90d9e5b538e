// Cost of the link per byte: byte-and-ACK round trips through TComP04 beside bare system calls, on one pty.
//
// A responder process on the master side of a pty sends one hex digit, waits
// for the host's answer, sends the next one, and so on, for as long as the
// benchmark runs. The host side is the slave, opened and set up by TComP04
// itself (POSIX serial device, real clock). Two variants answer the same
// stream, taking turns in rounds:
//
//   link  TComP04::ReceiveHexByte(value, true) with Connected set: two
//         ReadByte + WriteByte(ACK) pairs and the decoding, which is exactly
//         how the link takes in every byte of a reading (unit type, circuit
//         version, every memory byte). It costs what a real reading pays per
//         byte and nothing that the protocol's waits would hide.
//   bare  the same pairs by hand on the same descriptor: poll for input,
//         read one byte, write the ACK; the least any implementation does.
//
// Both variants use the one descriptor TComP04 opened, with the line settings
// it gave it, so the only difference between them is the link's own code:
// TComP04's checks and the device's handle lookup, timeout arithmetic and
// clock reads. The responder and the kernel's pty work are in both.
//
// The two vCPUs of a small machine make single timings bimodal, so the
// variants alternate in short rounds (link first, then bare first, and so on)
// and the report gives two medians: the ratio of the variants' median rounds,
// and the median of the per-round ratios. The goal is judged on the second:
// it pairs each round with its neighbour in time, so a machine that changes
// mode between rounds (or is busy with other work) does not tilt it, where the
// ratio of the medians may compare rounds of different modes.
//
// usage: link_roundtrip_bench [BYTES_PER_ROUND [ROUNDS]]   (defaults 2000, 31)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/Median.h"
#include "link/Com_p04.h"
#include "posix/PosixClock.h"
#include "posix/PosixSerialDevice.h"

#if defined(__SANITIZE_ADDRESS__)
#define BENCH_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BENCH_SANITIZED 1
#endif
#endif
#ifndef BENCH_SANITIZED
#define BENCH_SANITIZED 0
#endif

namespace {

using Clock_ = std::chrono::steady_clock;

constexpr double kGoalRatio = 1.20;  // the link may add at most 20% to the bare round trip
constexpr int kReadLimitMs = 1100;   // the link's own read timeout: 1000 + 100 x 1 byte

const char kDigits[] = "0123456789ABCDEF";

// The digit the responder sends as byte number n: pair k carries the value k & 0xFF.
uint8_t DigitAt(uint64_t n) {
  const uint64_t value = (n / 2) & 0xFF;
  return static_cast<uint8_t>(kDigits[n % 2 == 0 ? value >> 4 : value & 0x0F]);
}

// The responder: one digit out, one answer back, forever. Any byte counts as the
// answer, so the link's closing command is answered too.
[[noreturn]] void Respond(int master) {
  uint64_t n = 0;
  for (;;) {
    const uint8_t out = DigitAt(n++);
    if (::write(master, &out, 1) != 1) _exit(1);
    uint8_t in = 0;
    ssize_t got;
    do {
      got = ::read(master, &in, 1);
    } while (got < 0 && errno == EINTR);
    if (got != 1) _exit(got == 0 ? 0 : 2);
  }
}

int Decode(int first, int second) {
  auto digit = [](int c) { return c <= '9' ? c - 48 : c - 55; };
  return 16 * digit(first) + digit(second);
}

// One received byte by hand: wait for it, read it, answer ACK.
bool BareByte(int fd, uint8_t& byte) {
  pollfd pfd{fd, POLLIN, 0};
  if (poll(&pfd, 1, kReadLimitMs) != 1 || !(pfd.revents & POLLIN)) return false;
  if (::read(fd, &byte, 1) != 1) return false;
  const uint8_t ack = ACK;
  return ::write(fd, &ack, 1) == 1;
}

struct Exchange {
  TComP04& link;
  int fd;
  uint64_t pairs = 0;  // pairs taken in so far, by either variant
  bool failed = false;

  bool Check(int value) {
    if (value == static_cast<int>(pairs & 0xFF)) {
      ++pairs;
      return true;
    }
    std::fprintf(stderr, "link_roundtrip_bench: pair %llu decoded as %d\n",
                 static_cast<unsigned long long>(pairs), value);
    failed = true;
    return false;
  }

  // Microseconds per round trip over count pairs (2 x count bytes).
  double Link(int count) {
    const Clock_::time_point t0 = Clock_::now();
    for (int i = 0; i < count && !failed; ++i) {
      int32_t value = -1;
      if (link.ReceiveHexByte(value, true) != 0) {
        std::fprintf(stderr, "link_roundtrip_bench: ReceiveHexByte failed with %d\n", link.LastStatus);
        failed = true;
      } else {
        Check(value);
      }
    }
    return std::chrono::duration<double, std::micro>(Clock_::now() - t0).count() / (2.0 * count);
  }

  double Bare(int count) {
    const Clock_::time_point t0 = Clock_::now();
    for (int i = 0; i < count && !failed; ++i) {
      uint8_t first = 0;
      uint8_t second = 0;
      if (!BareByte(fd, first) || !BareByte(fd, second)) {
        std::fprintf(stderr, "link_roundtrip_bench: bare exchange failed\n");
        failed = true;
      } else {
        Check(Decode(first, second));
      }
    }
    return std::chrono::duration<double, std::micro>(Clock_::now() - t0).count() / (2.0 * count);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int bytes = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 31;
  if (bytes < 2 || rounds < 1) {
    std::fprintf(stderr, "usage: link_roundtrip_bench [BYTES_PER_ROUND [ROUNDS]]\n");
    return 2;
  }
  // ReceiveHexByte takes bytes in pairs.
  const int pairs = (bytes + 1) / 2;

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname(master) == nullptr) {
    std::perror("link_roundtrip_bench: pty");
    return 1;
  }
  const std::string slave = ptsname(master);

  // Every port name leads to the pty's slave.
  PosixSerialDevice serial([slave](const std::string&) { return slave; });
  PosixClock ticks;
  TComP04 link(serial, ticks);
  link.SetPortIndex(1);
  if (link.Open() != 0) {
    std::fprintf(stderr, "link_roundtrip_bench: TComP04::Open of %s failed with %d\n", slave.c_str(),
                 link.LastStatus);
    return 1;
  }

  // Started only now: before the link set the line raw, the slave would echo the digits back.
  const pid_t responder = fork();
  if (responder < 0) {
    std::perror("link_roundtrip_bench: fork");
    return 1;
  }
  if (responder == 0) {
    ::close(link.PortHandle);
    Respond(master);
  }

  // What a successful handshake leaves behind, without the handshake's one-second pause.
  link.Connected = 1;
  Exchange exchange{link, static_cast<int>(link.PortHandle)};

  std::printf("link round trip: %d bytes per variant and round (%d pairs), %d rounds, pty %s\n", 2 * pairs,
              pairs, rounds, slave.c_str());
  std::printf("build: %s%s\n",
              BENCH_SANITIZED ? "WITH AddressSanitizer, figures are not representative" : "sanitizers off",
#ifdef __OPTIMIZE__
              ", optimised"
#else
              ", NOT optimised"
#endif
  );

  if (FILE* load = std::fopen("/proc/loadavg", "r")) {
    char text[64] = {};
    if (std::fgets(text, sizeof text, load) != nullptr) std::printf("load average: %s", text);
    std::fclose(load);
  }

  // One round of each to warm caches and wake both CPUs; not counted.
  exchange.Link(pairs / 4 + 1);
  exchange.Bare(pairs / 4 + 1);

  std::vector<double> linkUs;
  std::vector<double> bareUs;
  std::vector<double> ratios;
  for (int r = 0; r < rounds && !exchange.failed; ++r) {
    double l = 0;
    double b = 0;
    if (r % 2 == 0) {
      l = exchange.Link(pairs);
      b = exchange.Bare(pairs);
    } else {
      b = exchange.Bare(pairs);
      l = exchange.Link(pairs);
    }
    linkUs.push_back(l);
    bareUs.push_back(b);
    ratios.push_back(l / b);
    std::printf("round %2d (%s): link %6.2f us, bare %6.2f us, ratio %.3f\n", r + 1,
                r % 2 == 0 ? "link first" : "bare first", l, b, l / b);
  }

  // The closing command of Close is answered by the responder, which then goes.
  link.Connected = 0;
  link.Close();
  kill(responder, SIGTERM);
  int status = 0;
  waitpid(responder, &status, 0);
  ::close(master);

  if (exchange.failed) {
    std::printf("exchange FAILED after %llu pairs\n", static_cast<unsigned long long>(exchange.pairs));
    return 1;
  }
  const double linkMedian = Median(linkUs);
  const double bareMedian = Median(bareUs);
  const double ratio = linkMedian / bareMedian;
  std::printf(
      "median per round trip (byte + ACK): link %.2f us, bare %.2f us (min %.2f / %.2f, max %.2f / %.2f)\n",
      linkMedian, bareMedian, *std::min_element(linkUs.begin(), linkUs.end()),
      *std::min_element(bareUs.begin(), bareUs.end()), *std::max_element(linkUs.begin(), linkUs.end()),
      *std::max_element(bareUs.begin(), bareUs.end()));
  const double paired = Median(ratios);
  std::printf(
      "ratio link / bare: %.3f (%+.1f%%) of the medians; %.3f (%+.1f%%) median of the per-round ratios\n",
      ratio, 100.0 * (ratio - 1.0), paired, 100.0 * (paired - 1.0));
  std::printf("goal: the link adds at most %.0f%% to the bare round trip (per-round ratios): %s\n",
              100.0 * (kGoalRatio - 1.0), paired <= kGoalRatio ? "met" : "NOT met");
  return 0;
}
