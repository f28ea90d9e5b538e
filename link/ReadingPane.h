// The lines a reading adds to the window's pane, in the catalogue's code page: made here once, from the
// sequence's events, for the window and the page alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/ReadingSequence.h"

// What the step just told adds: "Appareil connecté" and a blank line once the unit answers, the type
// check's line before it asks, each value as it is read, "Transmission réussie" and a blank line once a
// complete reading's unit is let go. Nothing for the other events.
std::vector<std::string> PaneLines(ReadingEvent event, const UnitReading& reading, uint32_t language);

// The lines that close a reading whose unit answered, once its outcome is shown: the completion lines
// after a complete reading, else a blank line and what went wrong.
std::vector<std::string> ClosingLines(ReadingOutcome outcome, uint32_t language);
