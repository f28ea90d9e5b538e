// The record's own texts, shared by the command line and the web page: pairs of CP1252 texts, French
// at index 0 and English at 1, said as UTF-8.
#pragma once

#include <cstdint>
#include <string>

enum RecordText : int {
  TXT_REC_LINE_PORT,
  TXT_REC_LINE_UNIT,
  TXT_REC_LINE_SERIAL,
  TXT_REC_LINE_CIRCUIT,
  TXT_REC_LINE_SOFTWARE,
  TXT_REC_WRONG_UNIT,
  TXT_REC_NO_ANSWER,
  TXT_REC_BAD_REPLY,
  TXT_REC_LINK_LOST,
  TXT_REC_INTERRUPTED,
  TXT_REC_WAITING,
  TXT_REC_UNEXPECTED_SOFTWARE,
  TXT_REC_UNEXPECTED_CIRCUIT,
  TXT_REC_OR,
  TXT_REC_REFUSED,
  TXT_REC_UNIT_REFUSES,
  kRecordTextCount
};

// The member of a pair in a language (0 or 1), as CP1252 bytes.
const char* Text(RecordText id, uint32_t language);

// The text in UTF-8, filled printf-style with arguments that are UTF-8 already.
std::string Say(RecordText id, uint32_t language, ...);
