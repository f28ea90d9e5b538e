// The reading sequence: the link's operations in the window's order, one per step, told as events.
#include "link/ReadingSequence.h"

ReadingSequence::ReadingSequence(TComP04& link, Clock& clock, ReadingPlan plan, Listener listener)
    : link_(link), clock_(clock), plan_(std::move(plan)), listener_(std::move(listener)) {}

void ReadingSequence::Tell(ReadingEvent event) {
  if (listener_) listener_(event, reading_);
}

bool ReadingSequence::Step() {
  if (over_) return false;
  if (decided_) {
    Release();
    return false;
  }
  switch (stage_) {
    case 1:
      Handshake();
      break;
    case 2:
      CheckType();
      break;
    case 3:
      ReadSerial();
      break;
    case 4:
      ReadCircuit();
      break;
    case 5:
      ReadSoftware();
      break;
  }
  return !over_;
}

const UnitReading& ReadingSequence::Run() {
  while (Step()) {
  }
  return reading_;
}

void ReadingSequence::Handshake() {
  if (reading_.Attempts == 0) start_ = clock_.TickCount();
  ++reading_.Attempts;
  Tell(ReadingEvent::Attempt);
  const int32_t status = link_.Connect(1);
  // The handshake says a refusal itself; it ends like silence, with the port closed behind it. A unit
  // that keeps refusing is told once.
  const bool wasRefusing = reading_.Refusing;
  reading_.Refusing = link_.Refused;
  if (link_.Refused) {
    reading_.Refused = true;
    if (!wasRefusing) Tell(ReadingEvent::Refused);
  }
  if (status == 0) {
    reading_.Connected = true;
    Advance(ReadingEvent::Connected);
    return;
  }
  if (Stopped()) return Fail(ReadingOutcome::Interrupted, COMERR_STOPPED);
  if (IsSystemError(status)) {
    // The window keeps asking: a port that will not open now may open at the next tick.
    if (plan_.PortErrorEnds) Fail(ReadingOutcome::PortError, status);
    return;
  }
  if (plan_.Deadline && static_cast<uint32_t>(clock_.TickCount() - start_) >= plan_.WaitMs)
    Fail(ReadingOutcome::NoAnswer, COMERR_TIMEOUT);
}

void ReadingSequence::CheckType() {
  Tell(ReadingEvent::Checking);
  char type[4] = {};
  // The bytes and the rule of CheckUnitType, keeping the characters for the record.
  const int32_t status = link_.ReadUnitType(type);
  if (status != 0) return Fail(ReadingOutcome::LinkLost, status);
  reading_.HasType = true;
  reading_.Type.assign(type, 3);
  if (!TComP04::IsThisUnitType(type)) return Fail(ReadingOutcome::WrongUnit, COMERR_WRONG_UNIT);
  Advance(ReadingEvent::Confirmed);
}

// In the three value steps a failed read ends the reading: its out-values would hold partial or stale
// figures, never shown.
void ReadingSequence::ReadSerial() {
  uint32_t serial = 0;
  const int32_t status = link_.ReadSerialNumber(serial);
  if (status != 0) return Fail(ReadingOutcome::LinkLost, status);
  reading_.HasSerial = true;
  reading_.Serial = serial;
  Advance(ReadingEvent::Serial);
}

void ReadingSequence::ReadCircuit() {
  int32_t circuit = 0;
  const int32_t status = link_.ReadCircuitVersion(circuit);
  if (status != 0) return Fail(ReadingOutcome::LinkLost, status);
  reading_.HasCircuit = true;
  reading_.Circuit = circuit;
  Advance(ReadingEvent::Circuit);
}

void ReadingSequence::ReadSoftware() {
  int32_t major = 0;
  int32_t minor = 0;
  const int32_t status = link_.ReadSoftwareVersion(major, minor);
  if (status != 0) return Fail(ReadingOutcome::LinkLost, status);
  reading_.HasSoftware = true;
  reading_.SoftwareMajor = major;
  reading_.SoftwareMinor = minor;
  reading_.Outcome = ReadingOutcome::Ok;
  reading_.HasStatus = true;
  reading_.Status = 0;
  // The release of a complete reading is its own step, as the window's final tick.
  decided_ = true;
  Advance(ReadingEvent::Software);
}

void ReadingSequence::Advance(ReadingEvent event) {
  ++stage_;
  Tell(event);
}

void ReadingSequence::Fail(ReadingOutcome outcome, int32_t status) {
  // A step that failed because of the stop tells the stop, whatever the step saw.
  if (status == COMERR_STOPPED || Stopped()) outcome = ReadingOutcome::Interrupted;
  reading_.Outcome = outcome;
  reading_.HasStatus = true;
  reading_.Status = status;
  if (outcome == ReadingOutcome::PortError) reading_.Problem = link_.ProblemOf(status);
  decided_ = true;
  Tell(ReadingEvent::Failed);
}

void ReadingSequence::Release() {
  const bool lost = reading_.Outcome == ReadingOutcome::LinkLost;
  // After a stop, one release and the port closed: nothing more will be read on it.
  if (plan_.After == AfterReading::Close || Stopped() || reading_.Outcome == ReadingOutcome::Interrupted ||
      (plan_.After == AfterReading::ReleaseOrCloseWhenLost && lost)) {
    // Close begins with the release (the baud request for 9600, the pause, the end command) and puts
    // the port's own settings back before closing it.
    link_.Close();
  } else {
    // The port stays open for the next reading; only the unit is let go.
    link_.Release();
  }
  // A reading cut short by the stop is told as such, whatever step noticed it.
  if (reading_.Outcome != ReadingOutcome::Ok && Stopped()) reading_.Outcome = ReadingOutcome::Interrupted;
  over_ = true;
  Tell(ReadingEvent::Released);
}

UnitLeft WaitUntilUnitLeaves(TComP04& link, const StopRequest& stop, const std::function<bool()>& portPresent) {
  for (;;) {
    if (stop && stop()) return UnitLeft::Stopped;
    if (portPresent && !portPresent()) return UnitLeft::PortFailed;
    const int32_t status = link.Connect(1);
    if (stop && stop()) return UnitLeft::Stopped;
    if (status != 0) return IsSystemError(status) ? UnitLeft::PortFailed : UnitLeft::Silent;
    link.Release();
  }
}
