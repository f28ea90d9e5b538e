// Wall time of a complete reading by the main window against the simulated unit, beside the waits the reading
// cannot avoid.
#include <cstdio>
#include <cstdlib>

#include "bench/WindowReading.h"
#include "tests/support/SimUnitProcess.h"

int main(int argc, char** argv) {
  const int readings = argc > 1 ? std::atoi(argv[1]) : 1;

  SimUnitProcess unit;
  WindowReading window(unit.PortFolder());
  if (!window.Ready()) {
    std::fprintf(stderr, "reading_bench: the window did not pick the unit's port\n");
    return 1;
  }

  const double mandated = WindowReading::MandatedMs();
  std::printf(
      "mandated waits: first tick 300 + handshake pause 1000 + release pause 200"
      " + waits for the 300 ms tick grid %.0f = %.0f ms\n",
      mandated - 1500, mandated);

  int failures = 0;
  for (int n = 1; n <= readings; ++n) {
    const WindowReadingResult r = window.ReadOnce();
    if (!r.Complete) ++failures;
    std::printf("reading %d: %s, %d ticks, wall %.1f ms, mandated %.0f ms, ratio %.4f (%+.2f%%)\n", n,
                r.Complete ? "complete" : "NOT complete", r.Ticks, r.WallMs, mandated, r.WallMs / mandated,
                100.0 * (r.WallMs / mandated - 1.0));
  }
  return failures == 0 ? 0 : 1;
}
