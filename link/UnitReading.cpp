// The reading without a window, on the link's own operations.
#include "link/UnitReading.h"

int32_t WaitForUnit(TComP04& link, Clock& clock, const WaitForUnitOptions& options, int32_t& attempts) {
  const uint32_t start = clock.TickCount();
  for (;;) {
    ++attempts;
    if (options.OnAttempt) options.OnAttempt(attempts);
    const int32_t status = link.Connect(1);
    if (status == 0) return 0;
    if (options.Stop && options.Stop()) return COMERR_STOPPED;
    if (IsSystemError(status)) return status;
    if (options.Deadline && static_cast<uint32_t>(clock.TickCount() - start) >= options.WaitMs)
      return COMERR_TIMEOUT;
  }
}

void ReadIdentity(TComP04& link, UnitReading& r, const ReadingStep& onStep) {
  r.Connected = true;
  auto told = [&] {
    if (onStep) onStep(r);
  };
  auto failed = [&](int32_t status) {
    r.HasStatus = true;
    r.Status = status;
    if (status == 0) return false;
    r.Outcome = status == COMERR_STOPPED ? ReadingOutcome::Interrupted : ReadingOutcome::LinkLost;
    return true;
  };
  told();
  char type[4] = {};
  // The same bytes and rule as CheckUnitType, which keeps the characters to itself.
  if (failed(link.ReadUnitType(type))) return;
  r.HasType = true;
  r.Type.assign(type, 3);
  if (!TComP04::IsThisUnitType(type)) {
    r.Outcome = ReadingOutcome::WrongUnit;
    r.Status = COMERR_WRONG_UNIT;
    return;
  }
  told();
  uint32_t serial = 0;
  if (failed(link.ReadSerialNumber(serial))) return;
  r.HasSerial = true;
  r.Serial = serial;
  told();
  int32_t circuit = 0;
  if (failed(link.ReadCircuitVersion(circuit))) return;
  r.HasCircuit = true;
  r.Circuit = circuit;
  told();
  int32_t major = 0;
  int32_t minor = 0;
  if (failed(link.ReadSoftwareVersion(major, minor))) return;
  r.HasSoftware = true;
  r.SoftwareMajor = major;
  r.SoftwareMinor = minor;
  r.Outcome = ReadingOutcome::Ok;
}

UnitReading ReadUnitIdentity(TComP04& link, Clock& clock, const ReadingOptions& options) {
  UnitReading r;
  const int32_t status = WaitForUnit(link, clock, options.Wait, r.Attempts);
  r.HasStatus = true;
  r.Status = status;
  if (status == 0) {
    ReadIdentity(link, r, options.OnStep);
  } else if (status == COMERR_STOPPED) {
    r.Outcome = ReadingOutcome::Interrupted;
  } else if (IsSystemError(status)) {
    r.Outcome = ReadingOutcome::PortError;
  } else {
    r.Outcome = ReadingOutcome::NoAnswer;
  }
  // Close begins with the release (the baud request for 9600, the pause, the
  // end command) and puts the port's own settings back before closing it.
  if (options.ClosePort) {
    link.Close();
  } else if (link.Connected != 0) {
    link.Release();
  }
  // A reading cut short by the stop is told as such, whatever step noticed it.
  if (r.Outcome != ReadingOutcome::Ok && options.Wait.Stop && options.Wait.Stop())
    r.Outcome = ReadingOutcome::Interrupted;
  return r;
}
