// The reading without a window: the handshake until a deadline, the unit's type, serial number,
// circuit and software versions, the release, and which step decided the outcome.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/Com_p04.h"
#include "link/UnitLine.h"
#include "platform/Clock.h"

enum class ReadingOutcome { Ok, WrongUnit, NoAnswer, LinkLost, PortError, Interrupted };

struct UnitReading {
  ReadingOutcome Outcome = ReadingOutcome::NoAnswer;
  bool Connected = false;  // the unit answered the handshake
  bool HasStatus = false;
  int32_t Status = 0;    // the link's status of the step that decided the outcome
  int32_t Attempts = 0;  // handshakes tried
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

struct WaitForUnitOptions {
  // How long to ask, from the call; 0 asks once. Without a deadline it asks until
  // the unit answers, the port fails or a stop comes.
  bool Deadline = true;
  uint32_t WaitMs = 10000;
  StopRequest Stop;
  // Told before each handshake, with the number of the attempt (1, 2, ...).
  std::function<void(int32_t attempt)> OnAttempt;
};

// The handshake, asked again while the unit is silent or refuses. Returns 0 once
// connected, the system's error when the port fails (the link has then closed
// it), COMERR_TIMEOUT when the time is up, COMERR_STOPPED on a stop request.
int32_t WaitForUnit(TComP04& link, Clock& clock, const WaitForUnitOptions& options, int32_t& attempts);

// Told of the reading so far after the handshake and after each step that
// succeeds, so that a front end can show each value as the window does.
using ReadingStep = std::function<void(const UnitReading& soFar)>;

// After a successful handshake, in the window's order: the type check, the serial
// number, the circuit version, the software version. The first failing step decides.
void ReadIdentity(TComP04& link, UnitReading& reading, const ReadingStep& onStep = nullptr);

struct ReadingOptions {
  WaitForUnitOptions Wait;
  ReadingStep OnStep;
  // Close the port after the release (its own settings put back), or keep it
  // open for the next handshake.
  bool ClosePort = true;
};

// The whole reading: WaitForUnit, ReadIdentity, the release.
UnitReading ReadUnitIdentity(TComP04& link, Clock& clock, const ReadingOptions& options);
