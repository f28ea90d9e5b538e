// TComP04 against a recording serial device: exact system calls, statuses, and Open/Close and WriteByte when the device fails them.
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
    const uint8_t dcb[28] = {28, 0, 0, 0, 0x80, 0x25, 0, 0, 0x03, 0x10, 0, 0, 0, 0, 100, 0,
                             100, 0, 8, 2, 0, 0x01, 0x02, 0x04, 0x00, 0x03, 0, 0};
    EXPECT_EQ(std::memcmp(&link.Dcb, dcb, sizeof dcb), 0);
    EXPECT_EQ(link.Dcb.Flags, 0x00001003u);
    EXPECT_EQ(link.Timeouts.ReadIntervalTimeout, 500u);
    EXPECT_EQ(link.Timeouts.ReadTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(link.Timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(link.Timeouts.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(link.Timeouts.WriteTotalTimeoutConstant, 1000u);
    const CommDcb zeroDcb{};
    EXPECT_EQ(std::memcmp(&link.SavedDcb, &zeroDcb, sizeof zeroDcb), 0);
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
    EXPECT_EQ(link.Dcb.BaudRate, 115200u);
    EXPECT_EQ(v, 55);
  }
  EXPECT_EQ(b.device.calls, Calls{});  // the destructor too
}

TEST(LinkObject, SetPortIndexEdges) {
  Bench b;
  TComP04 link(b.device, b.clock);
  const std::pair<int32_t, const char*> cases[] = {
      {0, "\\\\.\\COM1"},  {100, "\\\\.\\COM101"}, {101, "\\\\.\\COM2"},
      {-1, "\\\\.\\COM0"}, {INT_MAX, "\\\\.\\COM2"}, {INT_MIN, "\\\\.\\COM-2147483647"}};
  for (const auto& c : cases) {
    link.LastStatus = 9;
    link.SetPortIndex(c.first);
    EXPECT_STREQ(link.PortName, c.second) << c.first;
    EXPECT_EQ(link.LastStatus, 9);
  }
  EXPECT_EQ(b.device.calls, Calls{});
}

TEST(LinkObject, DecodeHexPairFollowsTheDigitRuleWithoutValidation) {
  EXPECT_EQ(TComP04::DecodeHexPair('7', 'A'), 122);
  EXPECT_EQ(TComP04::DecodeHexPair('F', 'F'), 255);
  EXPECT_EQ(TComP04::DecodeHexPair('0', 'a'), 42);
  EXPECT_EQ(TComP04::DecodeHexPair('f', 'f'), 799);
  EXPECT_EQ(TComP04::DecodeHexPair(' ', '0'), -256);
  // Both sides of the "9" boundary: ':' is the first character decoded as c - 55.
  EXPECT_EQ(TComP04::DecodeHexPair('0', '9'), 9);
  EXPECT_EQ(TComP04::DecodeHexPair('0', ':'), 3);
  EXPECT_EQ(TComP04::DecodeHexPair('0', '@'), 9);
  EXPECT_EQ(TComP04::DecodeHexPair('0', 'A'), 10);
}

TEST(LinkObject, OpenCapturesAppliesAndCloseRestores) {
  Bench b;
  TComP04 link(b.device, b.clock);
  link.SetBaudRate(19200);  // does not survive Open
  ASSERT_EQ(link.Open(), 0);
  EXPECT_EQ(b.device.calls, (Calls{"Open \\\\.\\COM2", "GetState", "SetState 9600", "SetState 9600",
                                   "GetTimeouts", "SetTimeouts 1000"}));
  EXPECT_EQ(link.SetBaudRate(1000), 0);
  EXPECT_EQ(link.SetBaudRate(0), 0);
  EXPECT_EQ(link.Dcb.BaudRate, 9600u);
  b.device.calls.clear();
  EXPECT_EQ(link.Close(), 0);
  EXPECT_EQ(b.device.calls, (Calls{"Sleep 200", "Write 04", "Read", "SetState 4800", "SetTimeouts 7", "Close"}));
  EXPECT_EQ(link.PortHandle, kInvalidSerialHandle);
}

TEST(LinkObject, FailedRestoreKeepsTheHandle) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  b.device.calls.clear();
  b.device.reads = {0x00};              // the unit's answer to CMD_END
  b.device.failNext["SetState"] = 31;   // putting back SavedDcb
  EXPECT_EQ(link.Close(), 31);
  EXPECT_EQ(b.device.calls, (Calls{"Sleep 200", "Write 04", "Read", "SetState 4800"}));
  EXPECT_NE(link.PortHandle, kInvalidSerialHandle);
  EXPECT_EQ(link.Connected, 0u);
}

// Open failing before it captured the port's own settings leaves nothing to put
// back: writing zero-filled settings would leave the port misconfigured.
TEST(LinkObject, CloseRestoresOnlyWhatOpenCaptured) {
  {
    Bench b;
    TComP04 link(b.device, b.clock);
    b.device.failNext["GetState"] = 22;
    EXPECT_EQ(link.Open(), 22);
    EXPECT_NE(link.PortHandle, kInvalidSerialHandle);  // the handle stays, as described
    b.device.calls.clear();
    b.device.reads = {0x00};
    EXPECT_EQ(link.Close(), 0);
    EXPECT_EQ(b.device.calls, (Calls{"Sleep 200", "Write 04", "Read", "Close"}));
    EXPECT_EQ(link.PortHandle, kInvalidSerialHandle);
  }
  {
    Bench b;
    TComP04 link(b.device, b.clock);
    b.device.failNext["GetTimeouts"] = 23;
    EXPECT_EQ(link.Open(), 23);
    b.device.calls.clear();
    b.device.reads = {0x00};
    EXPECT_EQ(link.Close(), 0);
    EXPECT_EQ(b.device.calls, (Calls{"Sleep 200", "Write 04", "Read", "SetState 4800", "Close"}));
  }
  {
    // A later, successful Open captures afresh and restores in full again.
    Bench b;
    TComP04 link(b.device, b.clock);
    b.device.failNext["GetState"] = 22;
    link.Open();
    EXPECT_EQ(link.Open(), 0);
    b.device.calls.clear();
    b.device.reads = {0x00};
    EXPECT_EQ(link.Close(), 0);
    EXPECT_EQ(b.device.calls, (Calls{"Sleep 200", "Write 04", "Read", "SetState 4800", "SetTimeouts 7", "Close"}));
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
  EXPECT_EQ(b.device.calls, (Calls{"Purge 15", "Write 80"}));
  EXPECT_EQ(link.Connected, 0u);
}

TEST(LinkObject, ConnectRepeatsUntilItsDeadline) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  b.device.calls.clear();
  // Silence: attempts at about 1000 ms and 2100 ms; the second ends past 3000 ms.
  EXPECT_EQ(link.Connect(3), COMERR_TIMEOUT);
  EXPECT_EQ(b.device.calls, (Calls{"Purge 15", "Write 80", "Read", "Write 80", "Read"}));

  // Any other byte is asked again; 0x81 wins.
  b.device.calls.clear();
  b.device.reads = {0x55, RSP_CONNECTED};
  EXPECT_EQ(link.Connect(3), 0);
  EXPECT_EQ(link.Connected, 1u);
  EXPECT_EQ(b.device.calls, (Calls{"Purge 15", "Write 80", "Read", "Write 80", "Read"}));
}

TEST(LinkObject, ReadFailureDuringHandshakeCleansUp) {
  Bench b;
  TComP04 link(b.device, b.clock);
  ASSERT_EQ(link.Open(), 0);
  b.device.calls.clear();
  b.device.failNext["Read"] = 1117;
  b.device.reads = {ACK};
  EXPECT_EQ(link.Connect(1), COMERR_TIMEOUT);
  EXPECT_EQ(b.device.calls, (Calls{"Purge 15", "Write 80", "Read", "Purge 15", "Sleep 200", "Write 04", "Read",
                                   "Sleep 200", "Write 04", "Read", "SetState 4800", "SetTimeouts 7", "Close"}));
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
