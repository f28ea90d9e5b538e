// The catalogue's texts. Non-ASCII letters are written as CP1252 byte escapes
// so that the bytes do not depend on the source file's encoding.
#include "text/TextCatalogue.h"

#include <cassert>

namespace {

const char* const kPairs[kTextPairCount][2] = {
    // Main window
    {"Lecture des Information de votre %s",
     "Reading the information of your %s"},  // TXT_MAIN_TITLE
    {"&Quitter",
     "&Exit"},  // TXT_BTN_QUIT
    {"Lecture des informations",
     "Read the information"},  // TXT_BTN_READ
    {"Configuration du Port",
     "Serial port settings"},  // TXT_BTN_PORT
    {"Choix de la Langue",
     "Language choice"},  // TXT_BTN_LANGUAGE
    {"Lecture des Informations de votre %s",
     "Reading the information of your %s"},  // TXT_INTRO_TITLE
    {"Connecter votre %s au PC",
     "Connect your %s to the PC"},  // TXT_INTRO_CONNECT
    {"Allumer votre %s.",
     "Switch on your %s."},  // TXT_INTRO_SWITCH_ON
    // TXT_INTRO_CHOOSE_PORT: "Choisir ensuite le port serie à utiliser."
    {"Choisir ensuite le port serie \xE0" " utiliser.",
     "Then choose the serial port to use."},  // TXT_INTRO_CHOOSE_PORT
    {"Et pour lire les informations, appuyer sur le bouton < %s >.",
     "And to read the information, press the button < %s >."},  // TXT_INTRO_PRESS_BUTTON
    // Reading sequence
    // TXT_DEVICE_CONNECTED: "Appareil connecté"
    {"Appareil connect\xE9",
     "Device Connected"},  // TXT_DEVICE_CONNECTED
    // TXT_CHECKING_UNIT: "Vérification du type d'appareil."
    {"V\xE9" "rification du type d'appareil.",
     "Checking of the unit."},  // TXT_CHECKING_UNIT
    // TXT_UNIT_CONFIRMED: "Vous avez bien connecté un appareil %s."
    {"Vous avez bien connect\xE9" " un appareil %s.",
     "You have connected the %s unit."},  // TXT_UNIT_CONFIRMED
    // TXT_SERIAL_NUMBER: "Le numéro de série est : %010u."
    {"Le num\xE9" "ro de s\xE9" "rie est : %010u.",
     "Serial number is : %010u."},  // TXT_SERIAL_NUMBER
    {" La version du circuit est %u ",
     " Circuit version is %u "},  // TXT_CIRCUIT_VERSION
    {" La version du logiciel est %u.%u",
     " Software version is %u.%u"},  // TXT_SOFTWARE_VERSION
    // TXT_TRANSFER_OK: "Transmission réussie"
    {"Transmission r\xE9" "ussie",
     "Transfert successfully"},  // TXT_TRANSFER_OK
    // TXT_READ_DONE: " Le transfert des données est reussi."
    {" Le transfert des donn\xE9" "es est reussi.",
     " The data transfer succeeded."},  // TXT_READ_DONE
    {"Vous pouvez effectuer une nouvelle lecture sur un autre appareil %s",
     "You can make a new reading on another %s unit"},  // TXT_READ_ANOTHER
    {"Mauvais type d'appareil",
     "Wrong unit type"},  // TXT_WRONG_UNIT
    // TXT_WRONG_UNIT_DETAIL: "Le type d'appareil ne correspond pas à un appareil %s.\n\n\rL'appareil n'est pas un appareil %s!"
    {"Le type d'appareil ne correspond pas \xE0" " un appareil %s.\n\n\rL'appareil n'est pas un appareil %s!",
     "The device is not a %s unit.\n\n\rThe device is not a %s unit."},  // TXT_WRONG_UNIT_DETAIL
    // TXT_LINK_LOST: "L'appareil ne répond plus correctement"
    {"L'appareil ne r\xE9" "pond plus correctement",
     "The unit no longer answers correctly"},  // TXT_LINK_LOST
    // TXT_LINK_LOST_DETAIL: "L'appareil %s ne répond plus correctement (code %d).\n\n\rVérifier le câble, l'alimentation et le port choisi, puis relancer la lecture."
    {"L'appareil %s ne r\xE9" "pond plus correctement (code %d).\n\n\rV\xE9" "rifier le c\xE2" "ble, l'alimentation et le port choisi, puis relancer la lecture.",
     "The %s unit no longer answers correctly (code %d).\n\n\rCheck the cable, the power and the chosen port, then read again."},  // TXT_LINK_LOST_DETAIL
    {"Lecture en cours",
     "Reading in progress"},  // TXT_READING_IN_PROGRESS
    // TXT_SAVED_READINGS: "Lectures enregistrées…"
    {"Lectures enregistr\xE9" "es\x85",
     "Saved readings\x85"},  // TXT_SAVED_READINGS
    // TXT_READING_NOT_SAVED: "Cette lecture n'a pas pu être enregistrée."
    {"Cette lecture n'a pas pu \xEAtre enregistr\xE9" "e.",
     "This reading could not be saved."},  // TXT_READING_NOT_SAVED
    // Port selection dialog
    // TXT_PORT_DLG_TITLE: "Comfiguration du port série"
    {"Comfiguration du port s\xE9" "rie",
     "Serial port settings"},  // TXT_PORT_DLG_TITLE
    // TXT_PORT_GROUP: "Port série"
    {"Port s\xE9" "rie",
     "Serial port"},  // TXT_PORT_GROUP
    {"Valider",
     "Valid"},  // TXT_PORT_VALIDATE
    {"Recherche des Ports",
     "ports searching"},  // TXT_PORT_SEARCH
    // Language choice dialog, looked up by the highlighted item
    {"Choix de la Langue",
     "Language choice"},  // TXT_LANG_DLG_TITLE
    {"Choix de la Langue",
     "Language choice"},  // TXT_LANG_GROUP
    // TXT_LANGUAGE_NAME: "Français"
    {"Fran\xE7" "ais",
     "English"},  // TXT_LANGUAGE_NAME
};

const char* const kSingles[kSingleTextCount] = {
    "Satellite de la KVR72 QLE",  // TXT_DEVICE_NAME
    " ",  // TXT_BLANK_LINE
    "---------------------------",  // TXT_SEPARATOR
    " Pas de port serie",  // TXT_NO_PORT
};

}  // namespace

const char* Text(TextPair id, uint32_t language) {
  assert(id >= 0 && id < kTextPairCount && language < 2);
  return kPairs[id][language];
}

const char* Text(SingleText id) {
  assert(id >= 0 && id < kSingleTextCount);
  return kSingles[id];
}
