// The settings file: what the reader accepts, the exact bytes the writer produces, and its failures.
#include <gtest/gtest.h>

#include <string>

#include "app/text/SettingsFile.h"
#include "tests/support/FakeSettingsStorage.h"
#include "ui/Toolkit.h"

namespace {

TEST(SettingsPath, NameIsAppendedAsItStands) {
  EXPECT_EQ(SettingsPathIn("C:\\windows"), "C:\\windows\\CalvineV1.CFG");
  EXPECT_EQ(SettingsPathIn("C:\\"), "C:\\\\CalvineV1.CFG");
}

TEST(SettingsLine, ElevenBytesEndingInLineFeedThenCarriageReturn) {
  EXPECT_EQ(FormatSettingsLine(0), std::string("Langue=0;\n\r"));
  EXPECT_EQ(FormatSettingsLine(1), std::string("Langue=1;\x0A\x0D"));
  EXPECT_EQ(FormatSettingsLine(1).size(), 11u);
}

TEST(SettingsParse, CasesOfTheFileFormat) {
  EXPECT_EQ(ParseSettingsLanguage("Langue=1;\n\r"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=1;\n\rAutre=0;\n\r"), 1);
  EXPECT_EQ(ParseSettingsLanguage(""), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=2;"), 2);
  EXPECT_EQ(ParseSettingsLanguage("Langue=-1;"), -1);
  EXPECT_EQ(ParseSettingsLanguage("Langue = 1 ;"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=1"), 0);   // no terminator
  EXPECT_EQ(ParseSettingsLanguage("1;"), 1);         // no key, no separator
  EXPECT_EQ(ParseSettingsLanguage("Mode=1;Langue=0;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Mode=1;"), 1);     // without the key parsing starts at the beginning
  EXPECT_EQ(ParseSettingsLanguage("Langue;=1"), 0);   // ";" before "="
  EXPECT_EQ(ParseSettingsLanguage("Langue=;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("\t\r\n Langue=\t1\x01;  \n"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=1 1;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=\xA0" "1;"), 0);  // a CP1252 no-break space is not trimmed
  // The key is case-sensitive; without it the whole text is parsed anyway.
  EXPECT_EQ(ParseSettingsLanguage("langue=1;"), 1);
}

TEST(SettingsParse, IntegerForms) {
  EXPECT_EQ(ParseSettingsLanguage("Langue=+1;"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=01;"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=$1;"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=x1;"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=0x1;"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=0X01;"), 1);
  EXPECT_EQ(ParseSettingsLanguage("Langue=$;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=0x;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=1a;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=-;"), 0);
}

TEST(SettingsParse, SignedThirtyTwoBitRangeByPairs) {
  EXPECT_EQ(ParseSettingsLanguage("Langue=2147483647;"), 2147483647);
  EXPECT_EQ(ParseSettingsLanguage("Langue=2147483648;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=-2147483648;"), INT32_MIN);
  EXPECT_EQ(ParseSettingsLanguage("Langue=-2147483649;"), 0);
  // A value that would wrap to 1 must not turn the program English.
  EXPECT_EQ(ParseSettingsLanguage("Langue=4294967297;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=$7FFFFFFF;"), 2147483647);
  EXPECT_EQ(ParseSettingsLanguage("Langue=$80000000;"), 0);
  EXPECT_EQ(ParseSettingsLanguage("Langue=99999999999999999999999999;"), 0);
}

using fake::FakeSettingsStorage;

const std::string kPath = "C:\\windows\\CalvineV1.CFG";

TEST(SettingsLoad, MissingFileIsCreatedForFrenchOnce) {
  FakeSettingsStorage disk;
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 0);
  EXPECT_EQ(disk.Files.at(kPath), "Langue=0;\n\r");
  EXPECT_EQ(disk.Creates, 1);
  EXPECT_EQ(disk.Reads, 0);
}

TEST(SettingsLoad, OnlyTheFirst200BytesUpToAZeroByteAreSeen) {
  FakeSettingsStorage disk;
  disk.Files[kPath] = "Langue=1" + std::string(191, ' ') + ";";  // ";" is byte 200 (1-based)
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 1);
  disk.Files[kPath] = "Langue=1" + std::string(192, ' ') + ";";  // ";" is byte 201
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 0);
  disk.Files[kPath] = std::string("Langue=1\0;", 10);
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 0);
  EXPECT_EQ(disk.Creates, 0);  // reading never rewrites
}

TEST(SettingsLoad, FileErrorsCarryTheToolkitTextsWithThePath) {
  FakeSettingsStorage disk;
  disk.Files[kPath] = "Langue=1;";
  disk.ReadFails = true;
  try {
    LoadOrCreateSettings(disk, kPath);
    FAIL() << "no error";
  } catch (const ui::Error& e) {
    EXPECT_STREQ(e.what(), "Impossible d'ouvrir le fichier C:\\windows\\CalvineV1.CFG");
  }
  FakeSettingsStorage empty;
  empty.CreateFails = true;
  try {
    LoadOrCreateSettings(empty, kPath);
    FAIL() << "no error";
  } catch (const ui::Error& e) {
    EXPECT_STREQ(e.what(), "Impossible de cr\xE9" "er le fichier C:\\windows\\CalvineV1.CFG");
  }
}

TEST(SettingsWrite, AShortWriteIsAFailureToCreateTheFile) {
  FakeSettingsStorage disk;
  disk.ShortBy = 1;
  EXPECT_THROW(WriteSettings(disk, kPath, 1), ui::Error);
  disk.ShortBy = 0;
  EXPECT_NO_THROW(WriteSettings(disk, kPath, 1));
  EXPECT_EQ(disk.Files.at(kPath), "Langue=1;\n\r");
}

}  // namespace
