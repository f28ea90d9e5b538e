// The window's complete reading against the simulated unit on a pty, on a timer modelled on a Windows timer.
#pragma once

#include <memory>
#include <string>

struct WindowReadingResult {
  bool Complete = false;
  int Ticks = 0;
  double WallMs = 0;
};

class WindowReading {
 public:
  // portPath: the unit's line, which the window finds as its one marked port, COM2.
  explicit WindowReading(const std::string& portFolder);
  ~WindowReading();
  // False when the window did not pick the unit's port.
  bool Ready() const;
  // One click on the read button, the ticks on their schedule, until the buttons come back.
  WindowReadingResult ReadOnce();
  // The least time a reading needs: the first tick, the pauses, the waits for the tick grid.
  static double MandatedMs();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};
