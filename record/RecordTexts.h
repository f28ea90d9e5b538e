// The record's own texts, shared by the command line and the web page: pairs of CP1252 texts, French
// at index 0 and English at 1, said as UTF-8.
#pragma once

#include <cstdint>
#include <string>

enum RecordText : int {
  TXT_REC_UNEXPECTED_SOFTWARE,
  TXT_REC_UNEXPECTED_CIRCUIT,
  TXT_REC_OR,
  kRecordTextCount
};

// The member of a pair in a language (0 or 1), as CP1252 bytes.
const char* Text(RecordText id, uint32_t language);

// The text in UTF-8, filled printf-style with arguments that are UTF-8 already.
std::string Say(RecordText id, uint32_t language, ...);
