// One reading as bravelle-cli reports it: outcome, values, exit code, JSON object, human lines and trace
// lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Outcome { Ok, WrongUnit, NoAnswer, LinkLost, PortError, Interrupted };

struct Reading {
  Outcome Result = Outcome::NoAnswer;
  std::string Port;  // empty when there was none to choose
  bool HasType = false;
  std::string Type;  // the three characters received
  bool HasSerial = false;
  uint32_t Serial = 0;
  bool HasCircuit = false;
  int32_t Circuit = 0;
  bool HasSoftware = false;
  int32_t SoftwareMajor = 0;
  int32_t SoftwareMinor = 0;
  bool HasStatus = false;
  int32_t Status = 0;  // the link's status of the step that decided the outcome
  int64_t ElapsedMs = 0;
  int64_t StartUnixMs = 0;  // wall-clock start, for "time"
  bool Repeat = false;      // watch: the serial number equals the previous record's
};

const char* OutcomeName(Outcome outcome);  // "ok", "wrong-unit", ...
int ExitCode(Outcome outcome);

// Quoted and escaped; bytes above 0x7F pass unchanged (paths and USB strings are UTF-8)
// unless latin1, which spells them as \u00XX (bytes a unit sent, which may be anything).
std::string JsonString(const std::string& text, bool latin1 = false);

// The JSON object on one line, without a line end.
std::string ReadingJson(const Reading& reading);

// "2026-12-09T18:30:05.123Z"
std::string IsoTime(int64_t unixMs);

// "0305419896": the serial number as the window shows it.
std::string SerialText(uint32_t serial);

// "1.12": the software version, major and minor.
std::string SoftwareText(const Reading& reading);

// One line per known value, in the language (0 French, 1 English), UTF-8.
std::vector<std::string> ReadingLines(const Reading& reading, uint32_t language);

// What went wrong, for a person, when the outcome is not ok (not for port errors,
// whose wording comes from the system's backend).
std::string FailureMessage(const Reading& reading, int64_t waitMs, uint32_t language);

// watch's one line per unit.
std::string WatchLine(const Reading& reading, uint32_t language);

// "1.004 H>U 80"
std::string TraceLine(int64_t ms, bool hostToUnit, uint8_t byte);
