// bravelle-cli's process as the system runs it: its terminal, its language, its waits, and the stop a
// signal (or the console's close) requests.
#pragma once

#include <cstdint>
#include <cstdio>

class CliProcess {
 public:
  virtual ~CliProcess() = default;
  virtual bool IsTerminal(std::FILE* stream) = 0;
  // The width of the terminal standard error shows, in columns; 0 when unknown.
  virtual int TerminalColumns() = 0;
  // The language when --lang is not given: 0 French, 1 English.
  virtual uint32_t DefaultLanguage() = 0;
  // Sleeps, but wakes at once when a stop is requested.
  virtual void Pause(uint32_t milliseconds) = 0;
  // Ends every wait of the serial devices once the time is up, as a stop's signal does (where the
  // system can); 0 takes the request back.
  virtual void WakeWaitsAfter(uint32_t milliseconds) = 0;
};

// Set from the signal handler (or the console's control thread on Windows) with
// the signal's number; the command looks at it between and inside its waits.
void RequestStop(int signal);
bool StopRequested();
int StopSignal();
