// The simulated unit's logic on its own: the complete reading's bytes, and the unit's misbehaviours.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/simunit/UnitLogic.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Line(const char* direction, uint8_t byte) {
  char text[16];
  std::snprintf(text, sizeof text, "%s %02X", direction, byte);
  return text;
}

// The host's bytes of an expected-bytes file fed to the logic one by one, each
// followed by what the logic answers: the whole exchange in the file's form.
TEST(UnitLogic, AnswersTheCompleteReadingByteForByteAsTheProgramOnAPty) {
  std::ifstream file(EXPECTED_DIR "/complete_reading.txt");
  ASSERT_TRUE(file) << EXPECTED_DIR "/complete_reading.txt";
  std::vector<std::string> expected;
  std::vector<std::string> exchange;
  UnitLogic unit;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    expected.push_back(line);
    if (line.compare(0, 4, "H>U ") != 0) continue;
    const uint8_t byte = static_cast<uint8_t>(std::stoul(line.substr(4), nullptr, 16));
    exchange.push_back(Line("H>U", byte));
    for (uint8_t answer : unit.OnHostByte(byte)) exchange.push_back(Line("U>H", answer));
  }
  EXPECT_EQ(exchange, expected);
}

TEST(UnitLogic, AValueIsAbandonedWhenTheHostSendsACommandInsteadOfAnAck) {
  UnitLogic unit;
  unit.Circuit = 0x5A;
  EXPECT_EQ(unit.OnHostByte(0x87), Bytes{'5'});
  // The host gave up on the circuit version and asks for the type: no "A" comes.
  EXPECT_EQ(unit.OnHostByte(0x86), Bytes{'5'});
  EXPECT_EQ(unit.OnHostByte(0x84), Bytes{'0'});
  EXPECT_EQ(unit.OnHostByte(0x84), Bytes{'3'});
  // A stray ACK after the last character is ignored.
  for (int i = 0; i < 4; ++i) unit.OnHostByte(0x84);
  EXPECT_EQ(unit.OnHostByte(0x84), Bytes{});
}

TEST(UnitLogic, HandshakeMisbehaviours) {
  UnitLogic late;
  late.IgnoredConnects = 2;
  EXPECT_EQ(late.OnHostByte(0x80), Bytes{});
  EXPECT_EQ(late.OnHostByte(0x80), Bytes{});
  EXPECT_FALSE(late.HandshakeDone());
  EXPECT_EQ(late.OnHostByte(0x80), Bytes{0x81});

  UnitLogic refusing;
  refusing.RefuseConnect = true;
  EXPECT_EQ(refusing.OnHostByte(0x80), Bytes{0x85});
  EXPECT_FALSE(refusing.HandshakeDone());

  UnitLogic quiet;
  quiet.SilentAfterHandshake = true;
  EXPECT_EQ(quiet.OnHostByte(0x80), Bytes{0x81});
  EXPECT_EQ(quiet.OnHostByte(0x86), Bytes{});
  EXPECT_EQ(quiet.OnHostByte(0x04), Bytes{});
}

TEST(UnitLogic, AddressesInEitherCaseAndLowercaseAnswers) {
  UnitLogic unit;
  unit.Lowercase = true;
  unit.Memory[0xAB] = 0xCD;
  unit.OnHostByte(0x89);
  EXPECT_EQ(unit.OnHostByte('a'), Bytes{});
  EXPECT_EQ(unit.OnHostByte('B'), Bytes{'c'});
  EXPECT_EQ(unit.OnHostByte(0x84), Bytes{'d'});
}

// Garbling touches memory bytes only, and only their second character; the
// type and circuit version still read, so a reading gets as far as the serial number.
TEST(UnitLogic, GarbledMemoryBytesCarryANonHexSecondCharacter) {
  UnitLogic unit;
  unit.GarbleMemory = true;
  unit.Circuit = 0x5A;
  unit.Memory[0x78] = 0x3F;
  EXPECT_EQ(unit.OnHostByte(0x87), Bytes{'5'});
  EXPECT_EQ(unit.OnHostByte(0x84), Bytes{'A'});
  unit.OnHostByte(0x89);
  unit.OnHostByte('7');
  EXPECT_EQ(unit.OnHostByte('8'), Bytes{'3'});
  EXPECT_EQ(unit.OnHostByte(0x84), Bytes{'G' + 0x0F});
}

// A unit unplugged in the middle of a value and plugged in again has forgotten
// the value and the handshake, but not its memory.
TEST(UnitLogic, RestartForgetsTheExchangeButNotTheUnit) {
  UnitLogic unit;
  unit.IgnoredConnects = 1;
  unit.OnHostByte(0x80);
  EXPECT_EQ(unit.OnHostByte(0x80), Bytes{0x81});
  unit.SetSerialNumber(7);
  unit.OnHostByte(0x89);
  unit.OnHostByte('7');
  unit.Restart();
  EXPECT_FALSE(unit.HandshakeDone());
  EXPECT_EQ(unit.OnHostByte('8'), Bytes{});   // no address under way any more
  EXPECT_EQ(unit.OnHostByte(0x80), Bytes{});  // the first request is ignored again
  EXPECT_EQ(unit.OnHostByte(0x80), Bytes{0x81});
  unit.OnHostByte(0x89);
  unit.OnHostByte('7');
  EXPECT_EQ(unit.OnHostByte('8'), Bytes{'0'});
  EXPECT_EQ(unit.OnHostByte(0x84), Bytes{'7'});
}

TEST(UnitLogic, BaudSwitchAcceptedOrRefusedAndTheBytesTheHostDoesNotExamine) {
  UnitLogic unit;
  unit.BaudTrailer = 0x00;
  unit.EndAnswer = 0x04;
  unit.OnHostByte(0x9E);
  unit.OnHostByte('4');
  EXPECT_EQ(unit.TakeRateSwitch(), -1);
  EXPECT_EQ(unit.OnHostByte('0'), (Bytes{0x84, 0x00}));
  EXPECT_EQ(unit.TakeRateSwitch(), 0x40);
  EXPECT_EQ(unit.TakeRateSwitch(), -1);
  EXPECT_EQ(unit.OnHostByte(0x04), Bytes{0x04});

  UnitLogic refusing;
  refusing.RefuseBaud = true;
  refusing.OnHostByte(0x9E);
  refusing.OnHostByte('8');
  EXPECT_EQ(refusing.OnHostByte('1'), Bytes{0x85});
  EXPECT_EQ(refusing.TakeRateSwitch(), -1);
}

}  // namespace
