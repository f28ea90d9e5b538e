// A journal's line read back whole: every field of a JSON record, for what is made from journals (the
// database rows `ship` sends, the records `records` prints).
#pragma once

#include <string>
#include <vector>

#include "record/RecordCodec.h"

// The fields of a JSON line that one of our programs wrote, in the order of today's schema, each with
// its value unescaped (the unit's bytes as bytes); keys of a later schema are passed over. False for a
// line that is not a whole JSON object of ours: a power cut's tail, another program's line.
bool ParseRecordFields(const std::string& line, std::vector<RecordField>& fields);

// The value of a field by name; null when the list has no such field or it is absent.
const RecordField* FindField(const std::vector<RecordField>& fields, const std::string& name);
