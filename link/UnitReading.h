// What a reading of the unit came to: its outcome, the values read and the step that decided it.
#pragma once

#include <cstdint>
#include <string>

#include "link/Com_p04.h"
#include "platform/SerialDevice.h"

enum class ReadingOutcome { Ok, WrongUnit, NoAnswer, LinkLost, PortError, Interrupted };

struct UnitReading {
  ReadingOutcome Outcome = ReadingOutcome::NoAnswer;
  bool Connected = false;  // the unit answered the handshake
  bool HasStatus = false;
  int32_t Status = 0;    // the link's status of the step that decided the outcome
  int32_t Attempts = 0;  // handshakes tried
  bool Refused = false;   // a handshake was answered with a refusal: another station or program holds the unit
  bool Refusing = false;  // ... and so was the last one: said once, until the unit stops refusing
  PortProblem Problem = PortProblem::None;  // with PortError: what the port's failure means
  bool HasType = false;
  std::string Type;  // the three characters received, whatever they are
  bool HasSerial = false;
  uint32_t Serial = 0;
  bool HasCircuit = false;
  int32_t Circuit = 0;
  bool HasSoftware = false;
  int32_t SoftwareMajor = 0;
  int32_t SoftwareMinor = 0;
};

// An error of the system (errno, Windows code) rather than one of the link's own, which lie above 100000.
inline bool IsSystemError(int32_t status) { return status != 0 && status < COMERR_NOT_CONNECTED; }
