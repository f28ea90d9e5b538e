// The web page's texts, in the catalogue beside the window's and the command line's: pairs of CP1252
// texts, French at index 0 and English at 1, handed to the page as UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "text/TextTable.h"

enum WebText : int {
  TXT_WEB_TITLE,
  TXT_WEB_LANGUAGE,
  TXT_WEB_CHOOSE_PORT,
  TXT_WEB_OTHER_PORT,
  TXT_WEB_READ,
  TXT_WEB_CANCEL,
  TXT_WEB_NO_PORT_YET,
  TXT_WEB_PORT_READY,
  TXT_WEB_PORT_GONE_IDLE,
  TXT_WEB_SEVERAL_PORTS,
  TXT_WEB_CANCELLING,
  TXT_WEB_IDENTITY_TITLE,
  TXT_WEB_SERIAL,
  TXT_WEB_CIRCUIT,
  TXT_WEB_SOFTWARE,
  TXT_WEB_READINGS_TITLE,
  TXT_WEB_NO_READINGS,
  TXT_WEB_COLUMN_TIME,
  TXT_WEB_COLUMN_PORT,
  TXT_WEB_COLUMN_SERIAL,
  TXT_WEB_COLUMN_CIRCUIT,
  TXT_WEB_COLUMN_SOFTWARE,
  TXT_WEB_COLUMN_OUTCOME,
  TXT_WEB_COLUMN_REPEAT,
  TXT_WEB_EXPORT_CSV,
  TXT_WEB_EXPORT_JSONL,
  TXT_WEB_CLEAR,
  TXT_WEB_CLEAR_CONFIRM,
  TXT_WEB_OUTCOME_OK,
  TXT_WEB_OUTCOME_WRONG_UNIT,
  TXT_WEB_OUTCOME_NO_ANSWER,
  TXT_WEB_OUTCOME_LINK_LOST,
  TXT_WEB_OUTCOME_PORT_ERROR,
  TXT_WEB_NO_WEB_SERIAL,
  TXT_WEB_CHOOSER_CLOSED,
  TXT_WEB_CHOOSER_FAILED,
  TXT_WEB_PORT_BUSY,
  TXT_WEB_PORT_UNPLUGGED,
  TXT_WEB_PORT_FAILED,
  kWebTextCount
};

// The member of a pair in a language (0 or 1), as CP1252 bytes.
const char* Text(WebText id, uint32_t language);

template <>
struct IsSaidText<WebText> : std::true_type {};
