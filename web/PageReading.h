// One reading as the page runs and shows it: the shared reading over the Web Serial port, the
// window's pane lines, the record with its repeat flag, and what the page tells the user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/ReadingRecord.h"

// How long the handshake is asked for before the page says no unit answered, as bravelle-cli's default.
constexpr uint32_t kPageWaitMs = 10000;

// The lines the window's pane gets for this reading, in the language, UTF-8; for
// a reading still under way, the lines of the steps done so far.
std::vector<std::string> PaneLines(const UnitReading& reading, uint32_t language, bool finished = true);

// What went wrong in words for the page (empty for a good reading), and the
// port problem the record names, from the link's status and the port's own words.
void TellFailure(ReadingRecord& record, uint32_t language, const std::string& portText);

// Sets the record's repeat flag from the earlier records (JSON lines, one a
// line): its serial number equals that of the last record of the same port that had one.
void MarkRepeat(ReadingRecord& record, const std::string& earlierLines);

// The page's answer for a finished reading, one JSON object: pane lines, outcome,
// message, identity, and the record as its JSON line and CSV row (when kept).
std::string PageResult(const ReadingRecord& record, uint32_t language);
