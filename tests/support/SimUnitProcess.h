// Runs the simulated unit on its own pty for one test and reads back its transcript.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct WireByte {
  double ms = 0;          // since the unit started
  std::string direction;  // "H>U" or "U>H"
  int value = 0;
  std::string Text() const;  // "H>U 80", the form of the expected-bytes files
};

class SimUnitProcess {
 public:
  // Starts the unit with extra options and waits until its line is ready.
  explicit SimUnitProcess(const std::vector<std::string>& options = {});
  ~SimUnitProcess();
  SimUnitProcess(const SimUnitProcess&) = delete;
  SimUnitProcess& operator=(const SimUnitProcess&) = delete;

  const std::string& SlavePath() const { return slave_; }
  // A folder holding the symlink COM2 to the unit's line, for PortDirectory.
  const std::string& PortFolder() const { return folder_; }
  // Stops the unit (it records what the host had sent until then) and returns its transcript.
  std::vector<WireByte> Stop();

 private:
  pid_t pid_ = -1;
  std::string folder_;
  std::string slave_;
  std::string transcript_;
};

// "H>U 80" lines of a transcript, for comparing with an expected list.
std::vector<std::string> Texts(const std::vector<WireByte>& bytes);
// The lines of an expected-bytes file, without comments and blank lines.
std::vector<std::string> ExpectedBytes(const std::string& file);
