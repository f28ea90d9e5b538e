// TComP04 with the POSIX backend against the simulated unit on a real pty: the bytes on the wire, statuses and timing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "link/Com_p04.h"
#include "posix/PosixClock.h"
#include "posix/PosixSerialDevice.h"
#include "tests/support/SimUnitProcess.h"

using Lines = std::vector<std::string>;

namespace {

using Millis = std::chrono::milliseconds;

// One unit, one backend that finds it as COM2, one link on it.
struct Wire {
  explicit Wire(const std::vector<std::string>& options = {})
      : unit(options),
        device(PosixSerialDevice::PortDirectory(unit.PortFolder())),
        link(std::make_unique<TComP04>(device, clock)) {}
  SimUnitProcess unit;
  PosixSerialDevice device;
  PosixClock clock;
  std::unique_ptr<TComP04> link;
};

// The bytes after the handshake's two, which every connected scenario starts with.
Lines AfterHandshake(const std::vector<WireByte>& bytes) {
  Lines all = Texts(bytes);
  EXPECT_GE(all.size(), 2u);
  EXPECT_EQ(Lines(all.begin(), all.begin() + std::min<size_t>(2, all.size())), (Lines{"H>U 80", "U>H 81"}));
  return Lines(all.begin() + std::min<size_t>(2, all.size()), all.end());
}

// Where the pty shim linked into this binary records the settings asked for.
std::string ShimLogPath() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/bravelle-shim-" + std::to_string(getpid()) + ".log";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(LinkWire, CompleteReadingByteForByte) {
  const std::string shimLog = ShimLogPath();
  setenv("BRAVELLE_PTYSHIM_LOG", shimLog.c_str(), 1);
  Wire w;
  TComP04& link = *w.link;
  Stopwatch connectTime;
  ASSERT_EQ(link.Connect(1), 0);
  EXPECT_GE(connectTime.ElapsedMs(), 990);  // the tick counter rounds down to whole milliseconds
  EXPECT_EQ(link.Connected, 1u);
  EXPECT_EQ(link.CheckUnitType(), 0);
  uint32_t serial = 0;
  EXPECT_EQ(link.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, 0x12345678u);
  int32_t circuit = 0;
  EXPECT_EQ(link.ReadCircuitVersion(circuit), 0);
  EXPECT_EQ(circuit, 5);
  int32_t major = 0;
  int32_t minor = 0;
  EXPECT_EQ(link.ReadSoftwareVersion(major, minor), 0);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 12);
  EXPECT_EQ(link.Release(), 0);
  EXPECT_EQ(link.Connected, 0u);
  EXPECT_TRUE(link.IsOpen());  // a release keeps the port for the next reading
  EXPECT_EQ(link.Line.rate, 9600u);
  w.link.reset();

  const std::vector<WireByte> bytes = w.unit.Stop();
  EXPECT_EQ(Texts(bytes), ExpectedBytes(EXPECTED_DIR "/complete_reading.txt"));
  // Release sleeps 200 ms between the baud exchange and CMD_END.
  size_t end = 0;
  while (end < bytes.size() && bytes[end].Text() != "H>U 04") ++end;
  ASSERT_TRUE(end > 0 && end < bytes.size());
  EXPECT_GE(bytes[end].ms - bytes[end - 1].ms, 190.0);
  // The pty was asked for 9600 baud, 8 bits, even parity, one stop bit.
  EXPECT_NE(ReadFile(shimLog).find("tcsetattr 9600 8E1 0"), std::string::npos);
  unsetenv("BRAVELLE_PTYSHIM_LOG");
  std::remove(shimLog.c_str());
}

TEST(LinkWire, SilentUnitTimesOutAfterOneRequestAndKeepsThePort) {
  Wire w({"--silent"});
  Stopwatch t;
  EXPECT_EQ(w.link->Connect(1), COMERR_TIMEOUT);
  const long ms = t.ElapsedMs();
  EXPECT_GE(ms, 2000);  // the pause, then a read that waits its 1100 ms
  EXPECT_LT(ms, 4000);
  EXPECT_TRUE(w.link->IsOpen());
  EXPECT_EQ(w.link->Connected, 0u);
  const SerialHandle handle = w.link->PortHandle;
  w.link->PortHandle = kInvalidSerialHandle;  // leave the unit's line without the destructor's bytes
  w.device.Close(handle);
  EXPECT_EQ(Texts(w.unit.Stop()), Lines{"H>U 80"});
}

TEST(LinkWire, RefusedHandshakeReleasesTwiceAndClosesThePort) {
  Wire w({"--refuse"});
  Stopwatch t;
  EXPECT_EQ(w.link->Connect(1), COMERR_TIMEOUT);
  EXPECT_GE(t.ElapsedMs(), 2350);  // two one-second pauses and two 200 ms releases
  EXPECT_FALSE(w.link->IsOpen());
  EXPECT_TRUE(w.link->Refused) << "the status is a silent unit's; the link still says it was refused";
  EXPECT_EQ(Texts(w.unit.Stop()), (Lines{"H>U 80", "U>H 85", "H>U 04", "U>H 84", "H>U 04", "U>H 84"}));
}

TEST(LinkWire, RefusedHandshakeWithoutDeadlineEndsOnTheClosedPort) {
  Wire w({"--refuse"});
  EXPECT_EQ(w.link->Connect(0), COMERR_PORT_CLOSED);
  EXPECT_FALSE(w.link->IsOpen());
  EXPECT_EQ(Texts(w.unit.Stop()), (Lines{"H>U 80", "U>H 85", "H>U 04", "U>H 84", "H>U 04", "U>H 84"}));
}

TEST(LinkWire, LateAnswerIsATimeoutAndIsPurgedByTheNextConnect) {
  Wire w({"--late", "1500"});
  EXPECT_EQ(w.link->Connect(1), COMERR_TIMEOUT);
  // The late 0x81 arrives during the next pause and is purged: it must not
  // pass for the answer to the second request, which is late again.
  EXPECT_EQ(w.link->Connect(1), COMERR_TIMEOUT);
  EXPECT_EQ(w.link->Connected, 0u);
  EXPECT_FALSE(w.link->Refused) << "a late answer is no refusal";
  const SerialHandle handle = w.link->PortHandle;
  w.link->PortHandle = kInvalidSerialHandle;
  w.device.Close(handle);
  usleep(1000 * 1000);  // let the second late answer go out too
  const std::vector<WireByte> bytes = w.unit.Stop();
  ASSERT_EQ(Texts(bytes), (Lines{"H>U 80", "U>H 81", "H>U 80", "U>H 81"}));
  EXPECT_GE(bytes[1].ms - bytes[0].ms, 1400.0);
}

TEST(LinkWire, LongerDeadlineAsksAgainUntilAnswered) {
  Wire w({"--answer-after", "2"});
  EXPECT_EQ(w.link->Connect(5), 0);
  EXPECT_EQ(w.link->Connected, 1u);
  w.link->PortHandle = kInvalidSerialHandle;
  EXPECT_EQ(Texts(w.unit.Stop()), (Lines{"H>U 80", "H>U 80", "U>H 81"}));
}

TEST(LinkWire, UnitFallingSilentAfterTheHandshakeTimesOutPerByte) {
  Wire w({"--silent-after-handshake"});
  TComP04& link = *w.link;
  ASSERT_EQ(link.Connect(1), 0);
  int32_t value = 31;
  Stopwatch t;
  EXPECT_EQ(link.ReadByte(value), COMERR_TIMEOUT);
  EXPECT_GE(t.ElapsedMs(), 1000);
  EXPECT_LT(t.ElapsedMs(), 2500);
  EXPECT_EQ(value, 31);
  int32_t circuit = 32;
  EXPECT_EQ(link.ReadCircuitVersion(circuit), COMERR_TIMEOUT);  // stops at the first silent read
  EXPECT_EQ(circuit, 32);
  EXPECT_EQ(link.Connected, 1u);
  EXPECT_TRUE(link.IsOpen());
  link.PortHandle = kInvalidSerialHandle;
  EXPECT_EQ(Texts(w.unit.Stop()), (Lines{"H>U 80", "U>H 81", "H>U 87"}));
}

TEST(LinkWire, MissingPortFailsWithTheSystemErrorAndSendsNothing) {
  Wire w;
  w.link->SetPortIndex(8);  // COM9: no such entry in the unit's folder
  EXPECT_EQ(w.link->Connect(1), ENOENT);
  EXPECT_FALSE(w.link->IsOpen());
  EXPECT_EQ(Texts(w.unit.Stop()), Lines{});
}

TEST(LinkWire, OtherUnitTypeIsWrongUnit) {
  Wire w({"--type", "P05"});
  ASSERT_EQ(w.link->Connect(1), 0);
  EXPECT_EQ(w.link->CheckUnitType(), COMERR_WRONG_UNIT);
  EXPECT_EQ(w.link->Connected, 1u);  // it stays connected until released
}

TEST(LinkWire, LowercaseTypeIsWrongUnit) {
  Wire w({"--type", "p04"});
  ASSERT_EQ(w.link->Connect(1), 0);
  char type[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(w.link->ReadUnitType(type), 0);
  EXPECT_STREQ(type, "p04");
  EXPECT_EQ(w.link->CheckUnitType(), COMERR_WRONG_UNIT);
}

TEST(LinkWire, LowercaseHexDigitsReadAtTheirValues) {
  Wire w({"--lowercase", "--soft-minor", "12", "--serial", "0xFEDCBA98"});
  ASSERT_EQ(w.link->Connect(1), 0);
  int32_t major = 0;
  int32_t minor = 0;
  EXPECT_EQ(w.link->ReadSoftwareVersion(major, minor), 0);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 12);  // "0c"
  uint32_t serial = 0;
  EXPECT_EQ(w.link->ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, 0xFEDCBA98u);
}

TEST(LinkWire, BeforeTheHandshakeOnlyReleaseReachesTheLine) {
  Wire w;
  TComP04& link = *w.link;
  ASSERT_EQ(link.Open(), 0);
  int32_t v = 77;
  uint32_t serial = 77;
  char type[4] = {'a', 'b', 'c', 0};
  EXPECT_EQ(link.CheckUnitType(), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.ReadUnitType(type), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.ReadSerialNumber(serial), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.ReadCircuitVersion(v), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.ReadSoftwareVersion(v, v), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.ReadByteAt(120, v), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.ReadWordAt(120, v), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.ReceiveHexByte(v, true), COMERR_NOT_CONNECTED);
  EXPECT_EQ(link.SwitchUnitBaudRate(19200), COMERR_NOT_CONNECTED);
  EXPECT_EQ(v, 77);
  EXPECT_EQ(serial, 77u);
  EXPECT_STREQ(type, "abc");

  Stopwatch t;
  EXPECT_EQ(link.Release(), 0);  // no baud request, a 200 ms sleep, CMD_END and one read
  EXPECT_GE(t.ElapsedMs(), 195);
  EXPECT_LT(t.ElapsedMs(), 1000);
  link.PortHandle = kInvalidSerialHandle;
  EXPECT_EQ(Texts(w.unit.Stop()), (Lines{"H>U 04", "U>H 84"}));
}

TEST(LinkWire, BaudSwitchCodesAndAcceptedRate) {
  const std::string shimLog = ShimLogPath();
  setenv("BRAVELLE_PTYSHIM_LOG", shimLog.c_str(), 1);
  Wire w;
  TComP04& link = *w.link;
  ASSERT_EQ(link.Connect(1), 0);
  std::remove(shimLog.c_str());
  EXPECT_EQ(link.SwitchUnitBaudRate(110), 0);  // no code of its own: asks for 9600
  EXPECT_EQ(link.Line.rate, 9600u);
  EXPECT_EQ(link.SwitchUnitBaudRate(19200), 0);
  EXPECT_EQ(link.Line.rate, 19200u);
  const std::string asked = ReadFile(shimLog);
  EXPECT_NE(asked.find("tcsetattr 19200 8E1 0"), std::string::npos) << asked;
  int32_t circuit = 0;
  EXPECT_EQ(link.ReadCircuitVersion(circuit), 0);  // a pty keeps carrying bytes at any rate
  link.PortHandle = kInvalidSerialHandle;
  EXPECT_EQ(AfterHandshake(w.unit.Stop()),
            (Lines{"H>U 9E", "H>U 38", "H>U 31", "U>H 84", "U>H 84", "H>U 9E", "H>U 34", "H>U 30", "U>H 84",
                   "U>H 84", "H>U 87", "U>H 30", "H>U 84", "U>H 35", "H>U 84"}));
  unsetenv("BRAVELLE_PTYSHIM_LOG");
  std::remove(shimLog.c_str());
}

TEST(LinkWire, RefusedBaudSwitchKeepsTheRateAndReadsNoMore) {
  Wire w({"--refuse-baud"});
  TComP04& link = *w.link;
  ASSERT_EQ(link.Connect(1), 0);
  EXPECT_EQ(link.SwitchUnitBaudRate(57600), COMERR_BAD_REPLY);
  EXPECT_EQ(link.Line.rate, 9600u);
  int32_t circuit = 0;
  EXPECT_EQ(link.ReadCircuitVersion(circuit), 0);
  EXPECT_EQ(circuit, 5);
  link.PortHandle = kInvalidSerialHandle;
  EXPECT_EQ(AfterHandshake(w.unit.Stop()), (Lines{"H>U 9E", "H>U 31", "H>U 34", "U>H 85", "H>U 87", "U>H 30",
                                                  "H>U 84", "U>H 35", "H>U 84"}));
}

TEST(LinkWire, NewPortNameClosesTheOpenPortAndTheNextConnectOpensIt) {
  Wire w;
  TComP04& link = *w.link;
  ASSERT_EQ(symlink(w.unit.SlavePath().c_str(), (w.unit.PortFolder() + "/COM3").c_str()), 0);
  ASSERT_EQ(link.Connect(1), 0);
  int32_t circuit = 0;
  EXPECT_EQ(link.ReadCircuitVersion(circuit), 0);
  link.SetPortIndex(2);  // the unit is released and the old port closed at once
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.Connected, 0u);
  EXPECT_STREQ(link.PortName, "\\\\.\\COM3");
  ASSERT_EQ(link.Connect(1), 0);
  // Open on an open port still releases, restores and reopens.
  EXPECT_EQ(link.Open(), 0);
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(link.Connected, 0u);
  link.PortHandle = kInvalidSerialHandle;
  EXPECT_EQ(AfterHandshake(w.unit.Stop()),
            (Lines{"H>U 87", "U>H 30", "H>U 84", "U>H 35", "H>U 84",
                   // SetPortIndex's Close: the release with its baud request
                   "H>U 9E", "H>U 38", "H>U 31", "U>H 84", "U>H 84", "H>U 04", "U>H 84", "H>U 80", "U>H 81",
                   // Open's Close
                   "H>U 9E", "H>U 38", "H>U 31", "U>H 84", "U>H 84", "H>U 04", "U>H 84"}));
}

// The unit's line goes away (the simulated unit ends, as when its adapter is
// unplugged) and the next unit appears under the same port path: the first
// Connect fails on the dead line and gives it up, the second reads the new unit.
TEST(LinkWire, VanishedLineIsGivenUpAndTheNextUnitOnTheSamePortIsRead) {
  auto first = std::make_unique<SimUnitProcess>();
  std::string folder = first->PortFolder();
  PosixSerialDevice device(
      [&folder](const std::string& path) { return PosixSerialDevice::PortDirectory(folder)(path); });
  PosixClock clock;
  TComP04 link(device, clock);
  ASSERT_EQ(link.Connect(1), 0);
  uint32_t serial = 0;
  EXPECT_EQ(link.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, 305419896u);
  EXPECT_EQ(link.Release(), 0);
  first->Stop();

  SimUnitProcess second({"--serial", "7"});
  folder = second.PortFolder();
  const int32_t status = link.Connect(1);
  if (status != 0) {
    EXPECT_EQ(status, EIO);
    EXPECT_FALSE(link.IsOpen());
    ASSERT_EQ(link.Connect(1), 0);
  }
  EXPECT_EQ(link.ReadSerialNumber(serial), 0);
  EXPECT_EQ(serial, 7u);
}

// Noise in a memory byte fails the read; the host still acknowledged both characters.
TEST(LinkWire, GarbledAnswerIsABadReply) {
  Wire w({"--garble"});
  ASSERT_EQ(w.link->Connect(1), 0);
  EXPECT_EQ(w.link->CheckUnitType(), 0);  // the type is sent clean
  uint32_t serial = 99;
  EXPECT_EQ(w.link->ReadSerialNumber(serial), COMERR_BAD_REPLY);
  EXPECT_EQ(serial, 99u);
  w.link->PortHandle = kInvalidSerialHandle;
  const Lines bytes = AfterHandshake(w.unit.Stop());
  // 0x78 as "7" then "O" ('G' + 8), each acknowledged.
  EXPECT_EQ(Lines(bytes.end() - 7, bytes.end()),
            (Lines{"H>U 89", "H>U 37", "H>U 38", "U>H 37", "H>U 84", "U>H 4F", "H>U 84"}));
}

TEST(LinkWire, LineHangingUpMidReadingGivesAStatus) {
  // Hang up after the handshake request, the type command and three ACKs: in the middle of the type.
  Wire w({"--hangup-after", "5"});
  TComP04& link = *w.link;
  ASSERT_EQ(link.Connect(1), 0);
  Stopwatch t;
  // The read that finds the line gone, then the writes to it: each fails with EIO at once.
  EXPECT_EQ(link.CheckUnitType(), EIO);
  uint32_t serial = 0;
  EXPECT_EQ(link.ReadSerialNumber(serial), EIO);
  EXPECT_EQ(link.Release(), EIO);
  EXPECT_EQ(link.Connected, 1u);  // a release that could not send CMD_END changes nothing
  w.link.reset();  // the destructor's release and close on a dead line
  EXPECT_LT(t.ElapsedMs(), 6000);
  EXPECT_EQ(Texts(w.unit.Stop()), (Lines{"H>U 80", "U>H 81", "H>U 86", "U>H 35", "H>U 84", "U>H 30",
                                         "H>U 84", "U>H 33", "H>U 84"}));
}

TEST(PosixSerialDevice, PortNamesAndExclusiveOpen) {
  EXPECT_EQ(PosixSerialDevice::DefaultPortPath("\\\\.\\COM1"), "/dev/ttyS0");
  EXPECT_EQ(PosixSerialDevice::DefaultPortPath("\\\\.\\COM12"), "/dev/ttyS11");
  EXPECT_EQ(PosixSerialDevice::DefaultPortPath("\\\\.\\COM0"), "");
  EXPECT_EQ(PosixSerialDevice::DefaultPortPath("\\\\.\\COM-2"), "");
  EXPECT_EQ(PosixSerialDevice::DefaultPortPath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(PosixSerialDevice::PortDirectory("/run/ports")("\\\\.\\COM7"), "/run/ports/COM7");

  SimUnitProcess unit;
  PosixSerialDevice first(PosixSerialDevice::PortDirectory(unit.PortFolder()));
  PosixSerialDevice second(PosixSerialDevice::PortDirectory(unit.PortFolder()));
  const SerialHandle h = first.Open("\\\\.\\COM2", kUnitLine);
  ASSERT_NE(h, kInvalidSerialHandle);
  EXPECT_EQ(second.Open("\\\\.\\COM2", kUnitLine), kInvalidSerialHandle);  // share mode 0
  EXPECT_EQ(second.LastError(), EBUSY);
  EXPECT_TRUE(first.Close(h));
  const SerialHandle again = second.Open("\\\\.\\COM2", kUnitLine);
  EXPECT_NE(again, kInvalidSerialHandle);
  EXPECT_TRUE(second.Close(again));
  EXPECT_FALSE(second.Close(again));
  EXPECT_EQ(second.LastError(), EBADF);
}

// Parity errors: the line must hand bytes on as received, so the input side
// neither checks, marks, drops nor strips them; parity is still generated.
TEST(PosixSerialDevice, BytesWithParityErrorsArePassedOnAsReceived) {
  SimUnitProcess unit;
  PosixSerialDevice device(PosixSerialDevice::PortDirectory(unit.PortFolder()));
  PosixClock clock;
  TComP04 link(device, clock);
  ASSERT_EQ(link.Open(), 0);
  termios t{};
  ASSERT_EQ(tcgetattr(static_cast<int>(link.PortHandle), &t), 0);
  EXPECT_EQ(t.c_iflag & (INPCK | IGNPAR | PARMRK | ISTRIP), 0u);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  // (That even parity was asked for is checked by the complete reading: a pty drops PARENB.)
}

// A line with modem lines (the shim gives the pty DTR and RTS, both on):
// the link's settings drop DTR and keep RTS; Close puts DTR back.
TEST(PosixSerialDevice, CloseRestoresTheModemLines) {
  const std::string shimLog = ShimLogPath();
  std::remove(shimLog.c_str());
  setenv("BRAVELLE_PTYSHIM_LOG", shimLog.c_str(), 1);
  setenv("BRAVELLE_PTYSHIM_MODEM_LINES", std::to_string(TIOCM_DTR | TIOCM_RTS).c_str(), 1);
  {
    SimUnitProcess unit;
    PosixSerialDevice device(PosixSerialDevice::PortDirectory(unit.PortFolder()));
    PosixClock clock;
    TComP04 link(device, clock);
    ASSERT_EQ(link.Open(), 0);
    int lines = 0;
    ASSERT_EQ(ioctl(static_cast<int>(link.PortHandle), TIOCMGET, &lines), 0);
    EXPECT_EQ(lines, TIOCM_RTS);
    const int fd = ::open(unit.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(link.Close(), 0);
    ASSERT_EQ(ioctl(fd, TIOCMGET, &lines), 0);
    EXPECT_EQ(lines, TIOCM_DTR | TIOCM_RTS);
    ::close(fd);
  }
  unsetenv("BRAVELLE_PTYSHIM_MODEM_LINES");
  unsetenv("BRAVELLE_PTYSHIM_LOG");
  const std::string log = ReadFile(shimLog);
  std::remove(shimLog.c_str());
  // Set by the link's settings, then put back once by Close.
  EXPECT_NE(log.find("modem " + std::to_string(TIOCM_DTR | TIOCM_RTS) + "\n"), std::string::npos) << log;
}
