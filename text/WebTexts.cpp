// The web page's texts, French then English; non-ASCII letters are written as CP1252 byte escapes
// so that the bytes do not depend on the source file's encoding.
#include "text/WebTexts.h"

#include "text/Utf8.h"

namespace {

const char* const
    kWebTexts[kWebTextCount]
             [2] = {
                 {"Lecture des informations de votre %s", "Reading your %s"},  // TXT_WEB_TITLE
                 {"Langue", "Language"},                                       // TXT_WEB_LANGUAGE
                 {"Choisir le port", "Choose port"},                           // TXT_WEB_CHOOSE_PORT
                 {"Autre port...", "Other port..."},                           // TXT_WEB_OTHER_PORT
                 {"Lecture des informations", "Read"},                         // TXT_WEB_READ
                 {"Annuler", "Cancel"},                                        // TXT_WEB_CANCEL
                 {"Aucun port choisi : branchez le c\xE2"
                  "ble de l'appareil et choisissez son port.",
                  "No port chosen: plug in the unit's cable and choose its port."},  // TXT_WEB_NO_PORT_YET
                 {"Port : %s", "Port: %s"},                                          // TXT_WEB_PORT_READY
                 {"Le port %s est d\xE9"
                  "branch\xE9 : rebranchez le c\xE2"
                  "ble.",
                  "The port %s is unplugged: plug the cable in again."},  // TXT_WEB_PORT_GONE_IDLE
                 {"Plusieurs ports sont autoris\xE9"
                  "s : choisissez celui de l'appareil.",
                  "Several ports are allowed: choose the unit's."},  // TXT_WEB_SEVERAL_PORTS
                 {"Arr\xEA"
                  "t en cours : l'appareil est lib\xE9"
                  "r\xE9 et le port ferm\xE9"
                  "...",
                  "Stopping: releasing the unit and closing the port..."},  // TXT_WEB_CANCELLING
                 {"Identit\xE9"
                  " de l'appareil",
                  "Unit identity"},  // TXT_WEB_IDENTITY_TITLE
                 {"Num\xE9"
                  "ro de s\xE9"
                  "rie",
                  "Serial number"},                                         // TXT_WEB_SERIAL
                 {"Version du circuit", "Circuit version"},                 // TXT_WEB_CIRCUIT
                 {"Version du logiciel", "Software version"},               // TXT_WEB_SOFTWARE
                 {"Lectures de cette session", "This session's readings"},  // TXT_WEB_READINGS_TITLE
                 {"Aucune lecture pour l'instant.", "No reading yet."},     // TXT_WEB_NO_READINGS
                 {"Heure", "Time"},                                         // TXT_WEB_COLUMN_TIME
                 {"Port", "Port"},                                          // TXT_WEB_COLUMN_PORT
                 {"N\xB0"
                  " de s\xE9"
                  "rie",
                  "Serial number"},         // TXT_WEB_COLUMN_SERIAL
                 {"Circuit", "Circuit"},    // TXT_WEB_COLUMN_CIRCUIT
                 {"Logiciel", "Software"},  // TXT_WEB_COLUMN_SOFTWARE
                 {"R\xE9"
                  "sultat",
                  "Outcome"},  // TXT_WEB_COLUMN_OUTCOME
                 {"D\xE9"
                  "j\xE0"
                  " lu",
                  "Read before"},                     // TXT_WEB_COLUMN_REPEAT
                 {"Exporter CSV", "Export CSV"},      // TXT_WEB_EXPORT_CSV
                 {"Exporter JSONL", "Export JSONL"},  // TXT_WEB_EXPORT_JSONL
                 {"Effacer", "Clear"},                // TXT_WEB_CLEAR
                 {"Effacer les lectures de cette session ?",
                  "Clear this session's readings?"},  // TXT_WEB_CLEAR_CONFIRM
                 {"lu", "read"},                      // TXT_WEB_OUTCOME_OK
                 {"mauvais type", "wrong type"},      // TXT_WEB_OUTCOME_WRONG_UNIT
                 {"pas de r\xE9"
                  "ponse",
                  "no answer"},                           // TXT_WEB_OUTCOME_NO_ANSWER
                 {"liaison perdue", "link lost"},         // TXT_WEB_OUTCOME_LINK_LOST
                 {"port inutilisable", "port unusable"},  // TXT_WEB_OUTCOME_PORT_ERROR
                 {"Ce navigateur ne sait pas ouvrir un port s\xE9"
                  "rie (Web Serial). Utilisez Google Chrome ou Microsoft Edge, version 89 ou plus r\xE9"
                  "cente, sur un ordinateur, avec la page servie en https:// ou depuis localhost.",
                  "This browser cannot open a serial port (Web Serial). Use Google Chrome or Microsoft Edge, "
                  "version 89 or later, on a computer, with the page served over https:// or from "
                  "localhost."},  // TXT_WEB_NO_WEB_SERIAL
                 {"Aucun port choisi : la fen\xEA"
                  "tre de choix a \xE9"
                  "t\xE9"
                  " ferm\xE9"
                  "e.",
                  "No port chosen: the chooser was closed."},  // TXT_WEB_CHOOSER_CLOSED
                 {"Le navigateur n'a pas pu proposer les ports : %s",
                  "The browser could not offer the ports: %s"},  // TXT_WEB_CHOOSER_FAILED
                 {"Le port %s ne s'ouvre pas : un autre programme le tient sans doute (Bravelle, un terminal "
                  "s\xE9"
                  "rie, un autre onglet...). Fermez-le et relancez la lecture.",
                  "The port %s does not open: another program probably holds it (Bravelle, a serial "
                  "terminal, another tab...). Close it and read again."},  // TXT_WEB_PORT_BUSY
                 {"Le port %s a disparu pendant la lecture (c\xE2"
                  "ble d\xE9"
                  "branch\xE9 ?). Rebranchez le c\xE2"
                  "ble et relancez la lecture.",
                  "The port %s vanished during the reading (cable unplugged?). Plug the cable in again and "
                  "read again."},  // TXT_WEB_PORT_UNPLUGGED
                 {"Le port %s a \xE9"
                  "chou\xE9 : %s",
                  "The port %s failed: %s"},  // TXT_WEB_PORT_FAILED
};

}  // namespace

const char* Text(WebText id, uint32_t language) { return TextOfTable(kWebTexts, id, language); }
