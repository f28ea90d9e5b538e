// One reading of the unit for every front end: the handshake, the type check, the serial number, the
// circuit and software versions and the release, one step at a time, each told as an event.
#pragma once

#include <cstdint>
#include <functional>

#include "link/Com_p04.h"
#include "link/UnitLine.h"
#include "link/UnitReading.h"
#include "platform/Clock.h"

// What the sequence tells, in the order it happens. Reading() holds every value known so far.
enum class ReadingEvent {
  Attempt,    // a handshake is about to be tried; Attempts counts it
  Refused,    // the unit refused that handshake, the one before was not refused: another station holds it
  Connected,  // the unit answered the handshake
  Checking,   // its type is about to be asked
  Confirmed,  // the unit is of our type
  Serial,     // the serial number was read
  Circuit,    // the circuit version was read
  Software,   // the software version was read: the reading is complete
  Failed,     // the outcome is decided and is not a complete reading (Outcome, Status, Problem)
  Released,   // the unit was let go, and the port closed where the plan says so: the sequence is over
};

// What becomes of the port once the outcome is decided.
enum class AfterReading {
  Close,                  // release the unit, put the port's own settings back and close it
  Release,                // release the unit and keep the port open for the next handshake
  ReleaseOrCloseWhenLost  // keep it open, unless the link was lost: its adapter may be gone
};

struct ReadingPlan {
  // How long the handshake is asked, from the first attempt; 0 asks once. Without a deadline it is
  // asked until the unit answers, the port fails or a stop comes.
  bool Deadline = true;
  uint32_t WaitMs = 10000;
  // A port that fails during the handshake ends the reading with PortError; otherwise the handshake
  // is simply asked again at the next step, as the window does at every tick.
  bool PortErrorEnds = true;
  AfterReading After = AfterReading::Close;
  // Asked after each failed step; once true, the reading ends as Interrupted and the port is closed.
  StopRequest Stop;
};

class ReadingSequence {
 public:
  using Listener = std::function<void(ReadingEvent event, const UnitReading& reading)>;

  ReadingSequence(TComP04& link, Clock& clock, ReadingPlan plan, Listener listener);

  // Runs one step: one handshake, the type check, one of the three values, or the release once the
  // outcome is decided. False once the sequence is over.
  bool Step();
  // Steps until the sequence is over, for a front end without a timer of its own.
  const UnitReading& Run();

  bool Over() const { return over_; }
  // The step that runs next: 1 the handshake, 2 the type, 3 to 5 the values, 6 the release of a
  // complete reading. After a failure it stays at the step that failed.
  int32_t Stage() const { return stage_; }
  const UnitReading& Reading() const { return reading_; }

 private:
  void Tell(ReadingEvent event);
  void Handshake();
  void CheckType();
  void ReadSerial();
  void ReadCircuit();
  void ReadSoftware();
  // Moves on to the next step after one that succeeded, and tells it.
  void Advance(ReadingEvent event);
  void Fail(ReadingOutcome outcome, int32_t status);
  void Release();
  bool Stopped() const { return plan_.Stop && plan_.Stop(); }

  TComP04& link_;
  Clock& clock_;
  ReadingPlan plan_;
  Listener listener_;
  UnitReading reading_;
  int32_t stage_ = 1;
  bool decided_ = false;  // the outcome is known: the release comes next
  bool over_ = false;
  uint32_t start_ = 0;
};

// Plug-and-read, once a unit was read: the handshake is asked at its own pace (the unit let go each
// time) until the unit no longer answers, its port fails or is gone, or a stop comes.
enum class UnitLeft { Silent, PortFailed, Stopped };
UnitLeft WaitUntilUnitLeaves(TComP04& link, const StopRequest& stop,
                             const std::function<bool()>& portPresent = nullptr);
