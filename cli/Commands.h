// bravelle-cli's three commands, and what read and watch share: one reading on a chosen port made
// into a record, with its messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/CliSystem.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/PortChoice.h"
#include "link/UnitLine.h"
#include "record/ReadingRecord.h"

// A command's system (each concern's small interface), its options, where its words go, its language.
struct CliContext : CliSystem {
  const CliOptions& Options;
  Console& Terminal;
  uint32_t Language;
};

int RunPorts(CliContext& cx);
int RunRead(CliContext& cx);
int RunWatch(CliContext& cx);

// The exit code of a reading's outcome: 0 read, 1 another type, 2 no answer, 3 the
// link lost or garbled, 4 the port; a stop ends with 128 and the signal's number.
int ExitCode(ReadingOutcome outcome);
// read: a unit whose version the bench does not expect.
constexpr int kExitRejected = 5;
int ExitCodeOfSignal(int signal);

// The record of a port that could not be chosen, and the lines that say why.
void RecordChoiceProblem(CliContext& cx, const PortSpec& spec, const PortChoice& choice,
                         ReadingRecord& record, std::vector<std::string>& lines);

// The message of a reading that failed, and for a port problem the lines that
// say why and what usually fixes it (the first of them is the message).
void RecordFailure(CliContext& cx, ReadingRecord& record, int64_t waitMs, std::vector<std::string>& lines);

// watch's one line per unit; the port leads when several fixtures share the output.
std::string WatchLine(const ReadingRecord& record, uint32_t language, bool withPort);

// --exec: the command run once the record is in the files, with the record in its environment and on
// its standard input; a failure or a run over 30 s is told on standard error and changes nothing else.
void RunHook(CliContext& cx, const ReadingRecord& record);

// "1.004 H>U 80"
std::string TraceLine(int64_t ms, bool hostToUnit, uint8_t byte);
