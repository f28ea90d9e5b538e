// The record's texts, French then English; non-ASCII letters as CP1252 byte escapes, so that the bytes
// do not depend on the source file's encoding.
#include "record/RecordTexts.h"

#include <cassert>
#include <cstdarg>

#include "text/Utf8.h"

namespace {

const char* const kRecordTexts[kRecordTextCount][2] = {
    {"Version du logiciel inattendue : %s lue, %s attendue.",
     "Unexpected software version: %s read, %s expected."},  // TXT_REC_UNEXPECTED_SOFTWARE
    {"Version du circuit inattendue : %s lue, %s attendue.",
     "Unexpected circuit version: %s read, %s expected."},  // TXT_REC_UNEXPECTED_CIRCUIT
    {" ou ", " or "},                                       // TXT_REC_OR
};

}  // namespace

const char* Text(RecordText id, uint32_t language) {
  assert(id >= 0 && id < kRecordTextCount && language < 2);
  return kRecordTexts[id][language];
}

std::string Say(RecordText id, uint32_t language, ...) {
  va_list args;
  va_start(args, language);
  std::string text = Utf8FormatV(Text(id, language), args);
  va_end(args);
  return text;
}
