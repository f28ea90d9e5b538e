// The window's link clock: sent messages let in during the link's pauses, a leap once the session ends.
#include "forms/WindowClock.h"

uint32_t WindowClock::TickCount() {
  uint32_t now = inner_.TickCount();
  if (!Stopped() && now != lastLook_) {
    lastLook_ = now;
    // The handler of the session's end may run right here, inside the link's pause.
    toolkit_.LetSentMessagesIn();
  }
  if (!Stopped()) return now;
  // More than any pause or deadline of the link at every look, and 256 looks before the counter comes round.
  constexpr uint32_t kLeap = 1u << 24;
  leapt_ += kLeap;
  return now + leapt_;
}
