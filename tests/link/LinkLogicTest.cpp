// TComP04 against a recording serial device: exact calls on the line, statuses, and Open/Close and WriteByte
// when the device fails them.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "link/Com_p04.h"
#include "tests/support/RecordingSerialDevice.h"

using Calls = std::vector<std::string>;
using fake::FakeClock;
using fake::RecordingSerialDevice;

namespace {

struct Bench {
  FakeClock clock;
  RecordingSerialDevice device{clock};
};

// An object whose port is open and whose handshake is done, with the calls so far forgotten.
void OpenAndConnect(TComP04& link, RecordingSerialDevice& device) {
  ASSERT_EQ(link.Open(), 0);
  link.Connected = 1;
  device.calls.clear();
}

}  // namespace

TEST(LinkObject, ConstructorSettingsAndNoSystemCallWithoutOpen) {
  Bench b;
  {
    TComP04 link(b.device, b.clock);
    EXPECT_EQ(link.Line, kUnitLine);
    EXPECT_STREQ(link.PortName, "\\\\.\\COM2");
    EXPECT_EQ(link.PortHandle, kInvalidSerialHandle);
    EXPECT_EQ(link.Connected, 0u);
    EXPECT_EQ(link.LastStatus, 0);

    // Everything that needs the port fails without reaching the system.
    int32_t v = 55;
    EXPECT_EQ(link.Close(), 0);
    EXPECT_EQ(link.Purge(), COMERR_PORT_CLOSED);
    EXPECT_EQ(link.WriteByte(0x80), COMERR_PORT_CLOSED);
    EXPECT_EQ(link.ReadByte(v), COMERR_PORT_CLOSED);
    EXPECT_EQ(link.Release(), COMERR_PORT_CLOSED);
    EXPECT_EQ(link.SetBaudRate(115200), 0);
    EXPECT_EQ(link.Line.rate, 115200u);
    EXPECT_EQ(v, 55);
  }
  EXPECT_EQ(b.device.calls, Calls{});  // the destructor too
}

// Every port number the port list can give is the port opened: Windows numbers
// up to COM256, and the path fits the 20-byte buffer for any int.
TEST(LinkObject, SetPortIndexEdges) {
  Bench b;
  TComP04 link(b.device, b.clock);
  const std::pair<int32_t, const char*> cases[] = {{0, "\\\\.\\COM1"},
                                                   {100, "\\\\.\\COM101"},
                                                   {101, "\\\\.\\COM102"},
                                                   {149, "\\\\.\\COM150"},
                                                   {255, "\\\\.\\COM256"},
                                                   {-1, "\\\\.\\COM0"},
                                                   {INT_MAX, "\\\\.\\COM2147483648"},
                                                   {INT_MIN, "\\\\.\\COM-2147483647"}};
  for (const auto& c : cases) {
    link.LastStatus = 9;
    link.SetPortIndex(c.first);
    EXPECT_STREQ(link.PortName, c.second) << c.first;
    EXPECT_EQ(link.LastStatus, 9);
  }
  EXPECT_EQ(b.device.calls, Calls{});
}

// A new port name while the port is open closes it, with the release of the
// unit, so that the next handshake opens the port chosen now; the same name
// touches nothing.
TEST(LinkObject, SetPortIndexClosesAnOpenPortWhenTheNameChanges) {
  Bench b;
  TComP04 link(b.device, b.clock);
  link.SetPortIndex(3);
  OpenAndConnect(link, b.device);
  link.SetPortIndex(3);
  EXPECT_EQ(b.device.calls, Calls{});
  EXPECT_EQ(link.Connected, 1u);

  b.device.reads = {ACK, 0x00, 0x04};  // baud switch accepted, then CMD_END's answer
  link.LastStatus = 9;
  link.SetPortIndex(4);
  EXPECT_EQ(b.device.calls, (Calls{"Write 9E", "Write 38", "Write 31", "Read", "Read", "Configure 9600",
                                   "Sleep 200", "Write 04", "Read", "Close"}));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.Connected, 0u);
  EXPECT_EQ(link.LastStatus, 9);
  EXPECT_STREQ(link.PortName, "\\\\.\\COM5");

  b.device.calls.clear();
  b.device.reads = {RSP_CONNECTED};
  EXPECT_EQ(link.Connect(1), 0);
  EXPECT_EQ(b.device.calls.front(), "Open \\\\.\\COM5");
}

// A character that is no hexadecimal digit fails the pair and leaves the
// out-value alone; lowercase digits count at their values. Both sides of each
// range edge: '/' '0', '9' ':', '@' 'A', 'F' 'G', '`' 'a', 'f' 'g'.
TEST(LinkObject, DecodeHexPairAcceptsOnlyHexDigits) {
  const std::pair<const char*, int32_t> good[] = {{"7A", 122}, {"FF", 255}, {"0a", 10}, {"ff", 255},
                                                  {"00", 0},   {"09", 9},   {"0A", 10}, {"0F", 15},
                                                  {"0f", 15},  {"Ab", 171}, {"90", 144}};
  for (const auto& c : good) {
    int32_t value = -1;
    EXPECT_EQ(TComP04::DecodeHexPair(c.first[0], c.first[1], value), 0) << c.first;
    EXPECT_EQ(value, c.second) << c.first;
  }
  const char* bad[] = {"0/",
                       "/0",
                       "0:",
                       ":0",
                       "0@",
                       "@0",
                       "0G",
                       "G0",
                       "0`",
                       "`0",
                       "0g",
                       "g0",
                       " 0",
                       "0 ",
                       "\x00"
                       "0"};
  for (const char* c : bad) {
    int32_t value = -7;
    EXPECT_EQ(TComP04::DecodeHexPair(c[0], c[1], value), COMERR_BAD_REPLY) << c;
    EXPECT_EQ(value, -7) << c;
  }
  int32_t value = -7;
  EXPECT_EQ(TComP04::DecodeHexPair(0x130, '0', value), COMERR_BAD_REPLY);  // '0' + 256 is no digit
  EXPECT_EQ(TComP04::DecodeHexPair('0', -1, value), COMERR_BAD_REPLY);
  EXPECT_EQ(value, -7);
}

// Garbled answers in each read: both characters are still acknowledged (so
// the unit stays in step), the read fails with COMERR_BAD_REPLY and its
// out-value keeps what it held.
TEST(LinkObject, GarbledAnswerFailsTheReadAfterAcknowledgingIt) {
  Bench b;
  TComP04 link(b.device, b.clock);
  OpenAndConnect(link, b.device);

  int32_t circuit = 99;
  b.device.Answer("0G");
  EXPECT_EQ(link.ReadCircuitVersion(circuit), COMERR_BAD_REPLY);
  EXPECT_EQ(circuit, 99);
  EXPECT_EQ(b.device.calls, (Calls{"Write 87", "Read", "Write 84", "Read", "Write 84"}));
  EXPECT_EQ(link.LastStatus, COMERR_BAD_REPLY);

  // Serial number: the first word decodes, the third byte is noise.
  uint32_t serial = 0xDEADBEEF;
  b.device.Answer("7856 4");
  EXPECT_EQ(link.ReadSerialNumber(serial), COMERR_BAD_REPLY);
  EXPECT_EQ(serial, 0x5678u);

  // The type check: a damaged type is a bad reply, not a wrong unit.
  b.device.Answer("5030?4");
  EXPECT_EQ(link.CheckUnitType(), COMERR_BAD_REPLY);

  int32_t major = -1;
  int32_t minor = -1;
  b.device.Answer("0c1a");
  EXPECT_EQ(link.ReadSoftwareVersion(major, minor), 0);
  EXPECT_EQ(major, 12);
  EXPECT_EQ(minor, 26);
  EXPECT_EQ(link.Connected, 1u);  // a bad reply does not end the session by itself
}

TEST(LinkObject, OpenCapturesAppliesAndCloseRestores) {
  Bench b;
  TComP04 link(b.device, b.clock);
  link.SetBaudRate(19200);  // does not survive Open
  ASSERT_EQ(link.Open(), 0);
  EXPECT_EQ(b.device.calls, (Calls{"Open \\\\.\\COM2"}));
  EXPECT_EQ(link.SetBaudRate(1000), 0);
  EXPECT_EQ(link.SetBaudRate(0), 0);
  EXPECT_EQ(link.Line.rate, 9600u);
  b.device.calls.clear();
  EXPECT_EQ(link.Close(), 0);
  EXPECT_EQ(b.device.calls, (Calls{"Sleep 200", "Write 04", "Read", "Close"}));
  EXPECT_EQ(link.PortHandle, kInvalidSerialHandle);
}

// On a vanished port closing fails; the handle is given up all the same, and
// the device's failure is the status.
TEST(LinkObject, FailedCloseStillGivesUpTheHandle) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  b.device.calls.clear();
  b.device.reads = {0x00};  // the unit's answer to CMD_END
  b.device.failNext["Close"] = 31;
  EXPECT_EQ(link.Close(), 31);
  EXPECT_EQ(b.device.calls, (Calls{"Sleep 200", "Write 04", "Read", "Close"}));
  EXPECT_EQ(link.PortHandle, kInvalidSerialHandle);
  EXPECT_EQ(link.Connected, 0u);
  EXPECT_EQ(b.device.openHandles, 0);
  EXPECT_EQ(b.device.strayHandleCalls, 0);

  // The next Open opens anew.
  b.device.calls.clear();
  EXPECT_EQ(link.Open(), 0);
  EXPECT_EQ(b.device.calls.front(), "Open \\\\.\\COM2");
}

// A port that refuses the line (an adapter that cannot do even parity, or the
// rate) does not open: the failure is the status, nothing stays open, and the
// next Connect tries again instead of reading with the port's own timeouts.
TEST(LinkObject, RefusedLineLeavesThePortClosed) {
  Bench b;
  TComP04 link(b.device, b.clock);
  b.device.refusedRates = {9600};
  EXPECT_EQ(link.Open(), RecordingSerialDevice::kRefused);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(b.device.openHandles, 0);
  EXPECT_EQ(link.LastStatus, RecordingSerialDevice::kRefused);

  b.device.refusedRates.clear();
  b.device.calls.clear();
  b.device.reads = {RSP_CONNECTED};
  EXPECT_EQ(link.Connect(1), 0);
  EXPECT_EQ(b.device.calls.front(), "Open \\\\.\\COM2");
  EXPECT_EQ(b.device.line, kUnitLine);
}

// A connect request that fails with a system error (the port is gone) gets
// the clean-up a failed read gets, and Connect still returns the write's
// status; the next Connect opens the port anew.
TEST(LinkObject, FailedConnectRequestCleansUpAndTheNextConnectReopens) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  b.device.calls.clear();
  b.device.failNext["Write"] = 22;
  EXPECT_EQ(link.Connect(1), 22);
  // Purge, Release, then Close with its own Release, as after a failed read.
  EXPECT_EQ(b.device.calls, (Calls{"Discard", "Write 80", "Discard", "Sleep 200", "Write 04", "Read",
                                   "Sleep 200", "Write 04", "Read", "Close"}));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.Connected, 0u);

  b.device.calls.clear();
  b.device.reads = {RSP_CONNECTED};
  EXPECT_EQ(link.Connect(1), 0);
  EXPECT_EQ(b.device.calls, (Calls{"Open \\\\.\\COM2", "Discard", "Write 80", "Read"}));
}

// SetBaudRate takes each of its fifteen rates, applies it to an open port and
// reports the port's refusal; any other value is 9600.
TEST(LinkObject, SetBaudRateTable) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  const int32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                           19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int32_t rate : rates) {
    b.device.calls.clear();
    EXPECT_EQ(link.SetBaudRate(rate), 0);
    EXPECT_EQ(link.Line.rate, static_cast<uint32_t>(rate));
    EXPECT_EQ(b.device.calls, Calls{"Configure " + std::to_string(rate)});
  }
  for (int32_t rate : {109, 111, 9601, 230400, 256001, 0, -9600}) {
    EXPECT_EQ(link.SetBaudRate(rate), 0);
    EXPECT_EQ(link.Line.rate, 9600u) << rate;
  }
  b.device.failNext["Configure"] = 87;
  EXPECT_EQ(link.SetBaudRate(19200), 87);
}

// Each rate code on the wire, the host's rate afterwards, and a host side
// that refuses the new rate reported as such.
TEST(LinkObject, SwitchUnitBaudRateCodes) {
  const std::pair<int32_t, const char*> codes[] = {
      {4800, "FF"},   {14400, "56"},  {19200, "40"},  {38400, "20"}, {56000, "15"}, {57600, "14"},
      {115200, "0A"}, {128000, "09"}, {256000, "04"}, {9600, "81"},  {110, "81"},   {300, "81"},
      {600, "81"},    {1200, "81"},   {2400, "81"},   {0, "81"},     {-1, "81"},    {230400, "81"}};
  for (const auto& c : codes) {
    Bench b;
    TComP04 link(b.device, b.clock);
    OpenAndConnect(link, b.device);
    b.device.reads = {ACK, 0x55};
    EXPECT_EQ(link.SwitchUnitBaudRate(c.first), 0) << c.first;
    const uint32_t local = std::string(c.second) == "81" ? 9600u : static_cast<uint32_t>(c.first);
    char w1[16];
    char w2[16];
    std::snprintf(w1, sizeof w1, "Write %02X", c.second[0]);
    std::snprintf(w2, sizeof w2, "Write %02X", c.second[1]);
    EXPECT_EQ(b.device.calls,
              (Calls{"Write 9E", w1, w2, "Read", "Read", "Configure " + std::to_string(local)}))
        << c.first;
    EXPECT_EQ(link.Line.rate, local);
  }
  {
    // Refused by the unit: nothing changes locally.
    Bench b;
    TComP04 link(b.device, b.clock);
    OpenAndConnect(link, b.device);
    b.device.reads = {RSP_REFUSED};
    EXPECT_EQ(link.SwitchUnitBaudRate(19200), COMERR_BAD_REPLY);
    EXPECT_EQ(b.device.calls, (Calls{"Write 9E", "Write 34", "Write 30", "Read"}));
    EXPECT_EQ(link.Line.rate, 9600u);
  }
  {
    // Accepted by the unit, refused by the host's port: that status, not success.
    Bench b;
    TComP04 link(b.device, b.clock);
    OpenAndConnect(link, b.device);
    b.device.reads = {ACK, 0x00};
    b.device.failNext["Configure"] = 87;
    EXPECT_EQ(link.SwitchUnitBaudRate(115200), 87);
    EXPECT_EQ(link.LastStatus, 87);
  }
}

// Release is the same exchange whatever the unit answers to CMD_END.
TEST(LinkObject, ReleaseExchangeWhateverTheAnswerToEnd) {
  for (int answer : {0x00, 0x04, int{ACK}, int{RSP_CONNECTED}, int{RSP_REFUSED}, 0x30, 0xFF}) {
    Bench b;
    TComP04 link(b.device, b.clock);
    OpenAndConnect(link, b.device);
    b.device.reads = {ACK, 0x00, answer};
    EXPECT_EQ(link.Release(), 0) << answer;
    EXPECT_EQ(b.device.calls, (Calls{"Write 9E", "Write 38", "Write 31", "Read", "Read", "Configure 9600",
                                     "Sleep 200", "Write 04", "Read"}))
        << answer;
    EXPECT_EQ(link.Connected, 0u);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(b.device.reads.empty());
  }
}

// A write that moved no byte is not a byte sent: the protocol would wait for an
// answer to a command the unit never got.
TEST(LinkObject, WriteThatMovedNothingIsATimeout) {
  Bench b;
  TComP04 link(b.device, b.clock);
  OpenAndConnect(link, b.device);
  b.device.writesTimingOut = 1;
  EXPECT_EQ(link.SendHexByte(0x7A), COMERR_TIMEOUT);
  EXPECT_EQ(b.device.calls, Calls{"Write 37"});  // the second character is not sent

  // The handshake request timing out ends Connect with no read of an answer.
  link.Connected = 0;
  b.device.calls.clear();
  b.device.writesTimingOut = 1;
  EXPECT_EQ(link.Connect(1), COMERR_TIMEOUT);
  EXPECT_EQ(b.device.calls, (Calls{"Discard", "Write 80"}));
  EXPECT_EQ(link.Connected, 0u);
}

TEST(LinkObject, ConnectRepeatsUntilItsDeadline) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  b.device.calls.clear();
  // Silence: attempts at about 1000 ms and 2100 ms; the second ends past 3000 ms.
  EXPECT_EQ(link.Connect(3), COMERR_TIMEOUT);
  EXPECT_EQ(b.device.calls, (Calls{"Discard", "Write 80", "Read", "Write 80", "Read"}));
  EXPECT_EQ(b.device.longestTimeoutMs, 1100u);  // one byte's wait, both ways

  // A driver whose reads give up early (after 300 ms): more attempts, the same deadline.
  b.device.silenceEndsAfterMs = 300;
  const uint32_t start = b.clock.now;
  EXPECT_EQ(link.Connect(3), COMERR_TIMEOUT);
  EXPECT_GE(b.clock.now - start, 3000u);
  EXPECT_LT(b.clock.now - start, 3400u);
  b.device.silenceEndsAfterMs = 0;

  // Any other byte is asked again; 0x81 wins.
  b.device.calls.clear();
  b.device.reads = {0x55, RSP_CONNECTED};
  EXPECT_EQ(link.Connect(3), 0);
  EXPECT_EQ(link.Connected, 1u);
  EXPECT_EQ(b.device.calls, (Calls{"Discard", "Write 80", "Read", "Write 80", "Read"}));
}

TEST(LinkObject, ReadFailureDuringHandshakeCleansUp) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  b.device.calls.clear();
  b.device.failNext["Read"] = 1117;
  b.device.reads = {ACK};
  EXPECT_EQ(link.Connect(1), COMERR_TIMEOUT);
  EXPECT_EQ(b.device.calls, (Calls{"Discard", "Write 80", "Read", "Discard", "Sleep 200", "Write 04", "Read",
                                   "Sleep 200", "Write 04", "Read", "Close"}));
  EXPECT_EQ(link.PortHandle, kInvalidSerialHandle);
}

TEST(LinkObject, FailedReadsKeepPartialResults) {
  Bench b;
  TComP04 link(b.device, b.clock);
  OpenAndConnect(link, b.device);

  uint32_t serial = 0xDEADBEEF;
  b.device.Answer("7856");  // addresses 120 and 121, then silence
  EXPECT_EQ(link.ReadSerialNumber(serial), COMERR_TIMEOUT);
  EXPECT_EQ(serial, 0x5678u);

  int32_t major = -1;
  int32_t minor = -1;
  b.device.Answer("01");
  EXPECT_EQ(link.ReadSoftwareVersion(major, minor), COMERR_TIMEOUT);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, -1);

  int32_t word = -7;
  EXPECT_EQ(link.ReadWordAt(10, word), COMERR_TIMEOUT);
  EXPECT_EQ(word, -7);

  // A second character that never comes: nothing is written and no ACK goes after it.
  b.device.calls.clear();
  int32_t circuit = 99;
  b.device.Answer("0");
  EXPECT_EQ(link.ReadCircuitVersion(circuit), COMERR_TIMEOUT);
  EXPECT_EQ(circuit, 99);
  EXPECT_EQ(b.device.calls, (Calls{"Write 87", "Read", "Write 84", "Read"}));
}
