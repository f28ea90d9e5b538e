// The record's texts, French then English; non-ASCII letters as CP1252 byte escapes, so that the bytes
// do not depend on the source file's encoding.
#include "record/RecordTexts.h"

#include <cassert>
#include <cstdarg>

#include "text/Utf8.h"

namespace {

const char* const kRecordTexts[kRecordTextCount][2] = {
    {"Port : %s", "Port: %s"},                             // TXT_REC_LINE_PORT
    {"Appareil : %s, type %s", "Unit: %s, type %s"},       // TXT_REC_LINE_UNIT
    {"Num\xE9ro de s\xE9rie : %s", "Serial number: %s"},   // TXT_REC_LINE_SERIAL
    {"Version du circuit : %d", "Circuit version: %d"},    // TXT_REC_LINE_CIRCUIT
    {"Version du logiciel : %s", "Software version: %s"},  // TXT_REC_LINE_SOFTWARE
    {"L'appareil sur %s est de type \"%s\" : ce n'est pas un %s (P04).",
     "The unit on %s is of type \"%s\", not a %s (P04)."},  // TXT_REC_WRONG_UNIT
    {"Aucun appareil n'a r\xE9pondu sur %s en %s s. V\xE9rifiez le c\xE2"
     "ble et que l'appareil est sous tension.",
     "No unit answered on %s within %s s. Check the cable and that the unit is switched "
     "on."},  // TXT_REC_NO_ANSWER
    {"L'appareil a r\xE9pondu par des caract\xE8res illisibles (code %d) : parasites, "
     "mauvaise vitesse ou "
     "autre appareil sur le port. Relancez la lecture.",
     "The unit answered with unreadable characters (code %d): noise, a wrong rate or another "
     "device on the "
     "port. Read again."},  // TXT_REC_BAD_REPLY
    {"L'appareil a cess\xE9 de r\xE9pondre pendant la lecture (code %d). V\xE9rifiez le c\xE2"
     "ble et relancez la lecture.",
     "The unit stopped answering during the reading (code %d). Check the cable and read "
     "again."},                       // TXT_REC_LINK_LOST
    {"Interrompu.", "Interrupted."},  // TXT_REC_INTERRUPTED
    {"Attente d'un appareil sur %s : %lld s, %d essai(s)",
     "Waiting for a unit on %s: %lld s, %d attempt(s)"},  // TXT_REC_WAITING
    {"Version du logiciel inattendue : %s lue, %s attendue.",
     "Unexpected software version: %s read, %s expected."},  // TXT_REC_UNEXPECTED_SOFTWARE
    {"Version du circuit inattendue : %s lue, %s attendue.",
     "Unexpected circuit version: %s read, %s expected."},  // TXT_REC_UNEXPECTED_CIRCUIT
    {" ou ", " or "},                                       // TXT_REC_OR
    {"L'appareil sur %s a r\xE9pondu, mais a refus\xE9 la liaison : il est peut-\xEAtre occup\xE9 par un "
     "autre "
     "poste ou programme.",
     "The unit on %s answered but refused the connection: another station or program may be using "
     "it."},  // TXT_REC_REFUSED
    {"%s : l'appareil refuse la liaison", "%s: the unit refuses the connection"},  // TXT_REC_UNIT_REFUSES
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
