// The simulated unit's side of the protocol, one host byte in, the unit's answer out:
// shared by the simunit program and the tests' in-process unit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Keeps its own protocol bytes rather than the link's, so that a wrong constant in
// the link shows up as a unit that does not understand it.
class UnitLogic {
 public:
  UnitLogic();

  // --- How the unit behaves; may be changed at any time ---
  std::string Type = "P04";
  uint8_t Circuit = 5;
  uint8_t Memory[256] = {};
  int IgnoredConnects = 0;            // connect requests left unanswered first
  bool RefuseConnect = false;         // answer every connect request with 0x85
  bool Silent = false;                // answer nothing at all
  bool SilentAfterHandshake = false;  // answer nothing once a handshake succeeded
  bool Lowercase = false;             // hexadecimal letters in lowercase
  // Memory bytes go out with a second character that is no hexadecimal digit
  // ('G' to 'V'), as noise or a wrong rate deliver them.
  bool GarbleMemory = false;
  bool RefuseBaud = false;            // answer baud switches with 0x85
  // The bytes whose value the host does not examine: the answer to the end
  // command and the last byte at the old rate after a baud switch.
  uint8_t EndAnswer = 0x84;
  uint8_t BaudTrailer = 0x84;

  void SetSerialNumber(uint32_t serial);
  void SetSoftwareVersion(uint8_t major, uint8_t minor);

  // The unit's answer to one byte from the host; often nothing. A value goes out
  // one hexadecimal character at a time, each after the host's ACK of the one before.
  std::vector<uint8_t> OnHostByte(uint8_t byte);
  bool HandshakeDone() const { return handshakeDone_; }
  // Power cycle: a command or value under way is forgotten and a handshake is
  // needed again; how the unit behaves and its memory are kept.
  void Restart();
  // The rate code of a baud switch the unit accepted since the last call, or -1.
  int TakeRateSwitch();

 private:
  enum class Expect { Command, Address, RateCode };
  void QueueValue(uint8_t value, bool garbled = false);
  void SendNextCharacter(std::vector<uint8_t>& out);

  Expect expect_ = Expect::Command;
  std::string argument_;
  std::vector<uint8_t> pending_;  // characters of a value not yet sent
  size_t nextPending_ = 0;
  int connectsSeen_ = 0;
  bool handshakeDone_ = false;
  int rateSwitch_ = -1;
};
