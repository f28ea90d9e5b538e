// The catalogue's texts are the program's own bytes: CP1252, exact spaces and line breaks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "text/Format.h"
#include "text/TextCatalogue.h"
#include "text/Utf8.h"
#include "ui/Toolkit.h"

namespace {

std::string Fr(TextPair id) { return Text(id, kLanguageFrench); }
std::string En(TextPair id) { return Text(id, kLanguageEnglish); }

TEST(TextCatalogue, AccentedLettersAreSingleCp1252Bytes) {
  EXPECT_EQ(Fr(TXT_DEVICE_CONNECTED), std::string("Appareil connect\xE9"));
  EXPECT_EQ(Fr(TXT_LANGUAGE_NAME), std::string("Fran\xE7" "ais"));
  EXPECT_EQ(Fr(TXT_INTRO_CHOOSE_PORT), std::string("Choisir ensuite le port serie \xE0 utiliser."));
  EXPECT_EQ(Fr(TXT_READ_DONE), std::string(" Le transfert des donn\xE9" "es est reussi."));
  EXPECT_EQ(std::string(ui::kCreateFileError), std::string("Impossible de cr\xE9" "er le fichier %s"));
  // No UTF-8 sequence slipped in anywhere.
  for (int id = 0; id < kTextPairCount; ++id)
    for (uint32_t lang = 0; lang < 2; ++lang)
      EXPECT_EQ(std::strstr(Text(static_cast<TextPair>(id), lang), "\xC3"), nullptr) << id << "/" << lang;
}

TEST(TextCatalogue, TwoLineMessagesSeparateTheirPartsWithLfLfCr) {
  for (TextPair id : {TXT_WRONG_UNIT_DETAIL, TXT_LINK_LOST_DETAIL}) {
    EXPECT_NE(Fr(id).find("\n\n\r"), std::string::npos);
    EXPECT_NE(En(id).find("\n\n\r"), std::string::npos);
  }
  const std::string device = Text(TXT_DEVICE_NAME);
  EXPECT_EQ(Format(Text(TXT_WRONG_UNIT_DETAIL, 0), device.c_str(), device.c_str()),
            "Le type d'appareil ne correspond pas \xE0 un appareil Satellite de la KVR72 QLE.\n\n\r"
            "L'appareil n'est pas un appareil Satellite de la KVR72 QLE!");
  // The same box serves silence and garbled answers, so it says neither.
  EXPECT_EQ(Format(Text(TXT_LINK_LOST_DETAIL, 1), device.c_str(), 100003),
            "The Satellite de la KVR72 QLE unit no longer answers correctly (code 100003).\n\n\r"
            "Check the cable, the power and the chosen port, then read again.");
  EXPECT_EQ(Format(Text(TXT_LINK_LOST_DETAIL, 0), device.c_str(), 100002),
            "L'appareil Satellite de la KVR72 QLE ne r\xE9pond plus correctement (code 100002).\n\n\r"
            "V\xE9rifier le c\xE2"
            "ble, l'alimentation et le port choisi, puis relancer la lecture.");
  EXPECT_EQ(Fr(TXT_LINK_LOST), "L'appareil ne r\xE9pond plus correctement");
  EXPECT_EQ(En(TXT_LINK_LOST), "The unit no longer answers correctly");
  EXPECT_EQ(En(TXT_READING_IN_PROGRESS), "Reading in progress");
}

TEST(TextCatalogue, EnglishShowsTheReadingItsFrenchShows) {
  // No English member is left blank: every line the French pane has, the English one has too.
  for (int id = 0; id < kTextPairCount; ++id) EXPECT_NE(En(static_cast<TextPair>(id)), " ") << id;
  const std::string device = Text(TXT_DEVICE_NAME);
  EXPECT_EQ(Format(Text(TXT_MAIN_TITLE, 1), device.c_str()),
            "Reading the information of your Satellite de la KVR72 QLE");
  EXPECT_EQ(Format(Text(TXT_INTRO_PRESS_BUTTON, 1), Text(TXT_BTN_READ, 1)),
            "And to read the information, press the button < Read the information >.");
  EXPECT_EQ(Format(Text(TXT_CIRCUIT_VERSION, 1), 5u), " Circuit version is 5 ");
  EXPECT_EQ(Format(Text(TXT_SOFTWARE_VERSION, 1), 1u, 12u), " Software version is 1.12");
}

TEST(TextCatalogue, FormattedLinesReadAsTheUserSeesThem) {
  const std::string device = Text(TXT_DEVICE_NAME);
  EXPECT_EQ(Format(Text(TXT_MAIN_TITLE, 0), device.c_str()),
            "Lecture des Information de votre Satellite de la KVR72 QLE");
  EXPECT_EQ(Format(Text(TXT_INTRO_PRESS_BUTTON, 0), Text(TXT_BTN_READ, 0)),
            "Et pour lire les informations, appuyer sur le bouton < Lecture des informations >.");
  EXPECT_EQ(Format(Text(TXT_SERIAL_NUMBER, 0), 1234u), "Le num\xE9ro de s\xE9rie est : 0000001234.");
  EXPECT_EQ(Format(Text(TXT_SERIAL_NUMBER, 1), 4294967295u), "Serial number is : 4294967295.");
  EXPECT_EQ(Format(Text(TXT_CIRCUIT_VERSION, 0), 5u), " La version du circuit est 5 ");
  EXPECT_EQ(Format(Text(TXT_SOFTWARE_VERSION, 0), 1u, 12u), " La version du logiciel est 1.12");
}

TEST(TextCatalogue, SingleTexts) {
  EXPECT_STREQ(Text(TXT_DEVICE_NAME), "Satellite de la KVR72 QLE");
  EXPECT_STREQ(Text(TXT_BLANK_LINE), " ");
  EXPECT_EQ(std::string(Text(TXT_SEPARATOR)), std::string(27, '-'));
  EXPECT_STREQ(Text(TXT_NO_PORT), " Pas de port serie");
  EXPECT_STREQ(Text(TXT_PORT_DLG_TITLE, 0), "Comfiguration du port s\xE9rie");
  EXPECT_STREQ(Text(TXT_PORT_SEARCH, 1), "ports searching");
}

TEST(ErrorBoxText, FullStopOnlyAfterCharactersAboveTheFullStop) {
  EXPECT_EQ(ui::ErrorBoxText(""), "");
  EXPECT_EQ(ui::ErrorBoxText("Impossible"), "Impossible.");
  EXPECT_EQ(ui::ErrorBoxText("fini."), "fini.");
  EXPECT_EQ(ui::ErrorBoxText("fini!"), "fini!");     // '!' is below '.'
  EXPECT_EQ(ui::ErrorBoxText("C:\\a/"), "C:\\a/.");  // '/' is just above '.'
  EXPECT_EQ(ui::ErrorBoxText("-"), "-");              // '-' is just below '.'
  EXPECT_EQ(ui::ErrorBoxText("cr\xE9"), "cr\xE9.");  // CP1252 letters count as above
}

TEST(ErrorMessages, TheToolkitsTextsInUtf8) {
  // Both ends of code page 1252's own letters at 0x80 to 0x9F, one of its
  // holes (the control character of that number, as Windows has it), Latin-1.
  EXPECT_EQ(Utf8FromCp1252("\x7F\x80\x81\x9F\xA0\xE9\xFF"),
            "\x7F\xE2\x82\xAC\xC2\x81\xC5\xB8\xC2\xA0\xC3\xA9\xC3\xBF");
}

}  // namespace
