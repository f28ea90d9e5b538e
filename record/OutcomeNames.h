// The stable names of a record's outcome and error, which scripts and spreadsheets match on.
#pragma once

#include <string>

#include "record/ReadingRecord.h"

// "ok", "wrong-unit", "no-answer", "link-lost", "port-error", "interrupted".
const char* OutcomeName(ReadingOutcome outcome);
// The record's outcome: the reading's, or "rejected".
const char* RecordOutcomeName(const ReadingRecord& record);
// The finer, stable name of a failure ("bad-reply", "port-busy", ...); empty for a good reading.
std::string ErrorName(const ReadingRecord& record);
