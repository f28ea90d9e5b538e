// The bilingual text catalogue: every text the user sees, as CP1252 bytes.
#pragma once

#include <cstdint>

// Pairs of texts: the French member at language index 0, the English one at 1.
enum TextPair : int {
  // Main window
  TXT_MAIN_TITLE,
  TXT_BTN_QUIT,
  TXT_BTN_READ,
  TXT_BTN_PORT,
  TXT_BTN_LANGUAGE,
  TXT_INTRO_TITLE,
  TXT_INTRO_CONNECT,
  TXT_INTRO_SWITCH_ON,
  TXT_INTRO_CHOOSE_PORT,
  TXT_INTRO_PRESS_BUTTON,
  // Reading sequence
  TXT_DEVICE_CONNECTED,
  TXT_CHECKING_UNIT,
  TXT_UNIT_CONFIRMED,
  TXT_SERIAL_NUMBER,
  TXT_CIRCUIT_VERSION,
  TXT_SOFTWARE_VERSION,
  TXT_TRANSFER_OK,
  TXT_READ_DONE,
  TXT_READ_ANOTHER,
  TXT_WRONG_UNIT,
  TXT_WRONG_UNIT_DETAIL,
  TXT_LINK_LOST,
  TXT_LINK_LOST_DETAIL,
  // What the system shows when the session ends during a reading
  TXT_READING_IN_PROGRESS,
  // The window's system menu: the folder of the saved readings
  TXT_SAVED_READINGS,
  // The pane's line after a reading whose record could not be saved
  TXT_READING_NOT_SAVED,
  // Port selection dialog
  TXT_PORT_DLG_TITLE,
  TXT_PORT_GROUP,
  TXT_PORT_VALIDATE,
  TXT_PORT_SEARCH,
  // Language choice dialog, looked up by the highlighted item
  TXT_LANG_DLG_TITLE,
  TXT_LANG_GROUP,
  TXT_LANGUAGE_NAME,
  kTextPairCount
};

// Texts that exist once and are shown alike in both languages.
enum SingleText : int {
  TXT_DEVICE_NAME,
  TXT_BLANK_LINE,
  TXT_SEPARATOR,
  TXT_NO_PORT,
  kSingleTextCount
};

constexpr uint32_t kLanguageFrench = 0;
constexpr uint32_t kLanguageEnglish = 1;

// The member of a pair in a language (0 or 1; the index is not range-tested).
const char* Text(TextPair id, uint32_t language);
const char* Text(SingleText id);
