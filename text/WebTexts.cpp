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
                 {"Lectures", "Readings"},  // TXT_WEB_READINGS_TITLE
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
                 {"Effacer toutes les lectures gard\xE9"
                  "es dans ce navigateur ?",
                  "Clear every reading kept in this browser?"},  // TXT_WEB_CLEAR_CONFIRM
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
                 {"Le port %s est d\xE9"
                  "j\xE0"
                  " ouvert dans ce navigateur (un autre onglet ou une autre fen\xEA"
                  "tre de Bravelle Web ?). Fermez-le et relancez la lecture.",
                  "The port %s is already open in this browser (another tab or window of Bravelle Web?). "
                  "Close it and read again."},  // TXT_WEB_PORT_ALREADY_OPEN
                 {"Le navigateur refuse l'acc\xE8"
                  "s au port %s (autorisation retir\xE9"
                  "e ou interdite par l'administrateur). Choisissez le port \xE0"
                  " nouveau.",
                  "The browser denies access to the port %s (permission withdrawn or forbidden by the "
                  "administrator). Choose the port again."},  // TXT_WEB_PORT_DENIED
                 {"Le port %s re\xE7"
                  "oit des caract\xE8"
                  "res mal form\xE9"
                  "s (erreur de parit\xE9"
                  ", de trame, rupture ou d\xE9"
                  "bordement) : mauvaise vitesse ou mauvais format de ligne, ou c\xE2"
                  "ble perturb\xE9"
                  ". V\xE9"
                  "rifiez le c\xE2"
                  "ble et l'appareil, puis relancez la lecture.",
                  "The port %s receives malformed characters (parity, framing, break or overrun error): wrong speed or framing, or a disturbed "
                  "cable. Check the cable and the unit, then read again."},  // TXT_WEB_LINE_GARBLED
                 {"Le port %s n'envoie plus rien (une \xE9"
                  "criture est rest\xE9"
                  "e bloqu\xE9"
                  "e) : la ligne a \xE9"
                  "t\xE9"
                  " ferm\xE9"
                  "e. D\xE9"
                  "branchez et rebranchez le c\xE2"
                  "ble, puis relancez la lecture.",
                  "The port %s no longer sends anything (a write stayed stuck): the line was closed. Unplug "
                  "and plug the cable in again, then read again."},  // TXT_WEB_WRITE_STUCK
                 {"Lecture termin\xE9"
                  "e : n\xB0"
                  " de s\xE9"
                  "rie %s, circuit %s, logiciel %s.",
                  "Reading done: serial number %s, circuit %s, software %s."},  // TXT_WEB_READ_OK
                 {"Ce navigateur ne garde rien pour cette page : les lectures seront perdues \xE0"
                  " sa fermeture. Exportez-les avant de la fermer.",
                  "This browser keeps nothing for this page: the readings will be lost when it closes. "
                  "Export them before closing it."},  // TXT_WEB_STORAGE_MEMORY
                 {"Cette lecture n'a pas pu \xEA"
                  "tre gard\xE9"
                  "e dans le navigateur (%s) : elle reste dans le tableau jusqu'\xE0"
                  " la fermeture de la page. Exportez-la.",
                  "This reading could not be kept in the browser (%s): it stays in the table until the page "
                  "closes. Export it."},  // TXT_WEB_STORAGE_FAILED
                 {"Bravelle Web a \xE9"
                  "t\xE9"
                  " mis \xE0"
                  " jour (version %s).",
                  "Bravelle Web was updated (version %s)."},  // TXT_WEB_UPDATED
                 {"Chercher un n\xB0"
                  " de s\xE9"
                  "rie",
                  "Search a serial number"},                                // TXT_WEB_SEARCH
                 {"Lectures %s \xE0"
                  " %s sur %s",
                  "Readings %s to %s of %s"},                               // TXT_WEB_PAGE_OF
                 {"Plus r\xE9"
                  "centes",
                  "Newer"},                                                 // TXT_WEB_NEWER
                 {"Plus anciennes", "Older"},                               // TXT_WEB_OLDER
                 {"Aucune lecture pour ce num\xE9"
                  "ro.",
                  "No reading of that number."},                            // TXT_WEB_NO_MATCH
                 {"Lecture automatique", "Read automatically"},            // TXT_WEB_AUTO_READ
                 {"Appareil lu sur %s : retirez-le, puis branchez le suivant.",
                  "Unit read on %s: take it off, then plug in the next one."},  // TXT_WEB_AUTO_PRESENT
                 {"Poste de lecture", "Reading station"},                     // TXT_WEB_STATION_TITLE
                 {"Nom du port", "Port name"},                                // TXT_WEB_PORT_NAME
                 {"ex. Banc 1", "e.g. Bench 1"},                              // TXT_WEB_PORT_NAME_HINT
                 {"Logiciel attendu", "Expected software"},                   // TXT_WEB_EXPECT_SOFTWARE
                 {"Circuit attendu", "Expected circuit"},                     // TXT_WEB_EXPECT_CIRCUIT
                 {"tout", "any"},                                             // TXT_WEB_EXPECT_HINT
                 {"refus\xE9", "rejected"},                                   // TXT_WEB_OUTCOME_REJECTED
                 {"Diagnostic", "Diagnostic"},                                // TXT_WEB_DIAGNOSTIC
                 {"Chargement des lectures gard\xE9"
                  "es...",
                  "Loading the readings kept..."},    // TXT_WEB_LOADING
                 {"Premi\xE8re page", "First page"},  // TXT_WEB_FIRST_PAGE
                 {"Derni\xE8re page", "Last page"},   // TXT_WEB_LAST_PAGE
                 {"N\xB0 de s\xE9rie, port ou r\xE9sultat",
                  "Serial number, port or outcome"},  // TXT_WEB_SEARCH_HINT
                 {"Aucun port choisi. Sur un t\xE9l\xE9phone ou une tablette, le navigateur ne pilote "
                  "peut-\xEAtre pas l'adaptateur du c\xE2"
                  "ble (Chrome pour Android ne piloterait pas les adaptateurs USB CP210x, FTDI ni PL2303). "
                  "Lisez plut\xF4t l'appareil depuis un ordinateur : Google Chrome ou Microsoft Edge, "
                  "Bravelle sous Windows, ou bravelle-cli.",
                  "No port chosen. On a phone or a tablet, the browser may not drive the cable's adapter "
                  "(Chrome for Android is reported not to drive CP210x, FTDI or PL2303 USB adapters). Read "
                  "the unit from a computer instead: Google Chrome or Microsoft Edge, Bravelle on Windows, "
                  "or bravelle-cli."},  // TXT_WEB_ANDROID_NO_PORT
};

}  // namespace

const char* Text(WebText id, uint32_t language) { return TextOfTable(kWebTexts, id, language); }
