// What a reading says to a person, in the language (0 French, 1 English), UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/ReadingRecord.h"

// One line per known value.
std::vector<std::string> RecordLines(const ReadingRecord& record, uint32_t language);

// "Waiting for a unit on /dev/ttyUSB0: 12 s, 5 attempt(s)": the wait for the handshake.
std::string WaitingText(uint32_t language, const std::string& port, int64_t ms, int32_t attempts);

// What went wrong when the reading itself failed (not for port problems, whose wording comes from the
// system's backend).
std::string FailureMessage(const ReadingRecord& record, int64_t waitMs, uint32_t language);
