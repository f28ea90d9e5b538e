// The settings file: what the reader accepts, the exact bytes the writer produces, and its failures.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/text/SettingsFile.h"
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

// An in-memory disk with injectable failures.
class MemoryStorage : public SettingsStorage {
 public:
  std::string WindowsDirectory() override { return "C:\\windows"; }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) override {
    ++reads;
    if (unreadable) return false;
    bytes = files.at(path).substr(0, maxBytes);
    return true;
  }
  bool CreateFile(const std::string& path, const std::string& bytes, size_t& written) override {
    ++writes;
    if (uncreatable) return false;
    written = shortWrite ? bytes.size() - 1 : bytes.size();
    files[path] = bytes.substr(0, written);
    return true;
  }
  std::map<std::string, std::string> files;
  bool unreadable = false;
  bool uncreatable = false;
  bool shortWrite = false;
  int reads = 0;
  int writes = 0;
};

const std::string kPath = "C:\\windows\\CalvineV1.CFG";

TEST(SettingsLoad, MissingFileIsCreatedForFrenchOnce) {
  MemoryStorage disk;
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 0);
  EXPECT_EQ(disk.files.at(kPath), "Langue=0;\n\r");
  EXPECT_EQ(disk.writes, 1);
  EXPECT_EQ(disk.reads, 0);
}

TEST(SettingsLoad, OnlyTheFirst200BytesUpToAZeroByteAreSeen) {
  MemoryStorage disk;
  disk.files[kPath] = "Langue=1" + std::string(191, ' ') + ";";  // ";" is byte 200 (1-based)
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 1);
  disk.files[kPath] = "Langue=1" + std::string(192, ' ') + ";";  // ";" is byte 201
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 0);
  disk.files[kPath] = std::string("Langue=1\0;", 10);
  EXPECT_EQ(LoadOrCreateSettings(disk, kPath), 0);
  EXPECT_EQ(disk.writes, 0);  // reading never rewrites
}

TEST(SettingsLoad, FileErrorsCarryTheToolkitTextsWithThePath) {
  MemoryStorage disk;
  disk.files[kPath] = "Langue=1;";
  disk.unreadable = true;
  try {
    LoadOrCreateSettings(disk, kPath);
    FAIL() << "no error";
  } catch (const ui::Error& e) {
    EXPECT_STREQ(e.what(), "Impossible d'ouvrir le fichier C:\\windows\\CalvineV1.CFG");
  }
  MemoryStorage empty;
  empty.uncreatable = true;
  try {
    LoadOrCreateSettings(empty, kPath);
    FAIL() << "no error";
  } catch (const ui::Error& e) {
    EXPECT_STREQ(e.what(), "Impossible de cr\xE9" "er le fichier C:\\windows\\CalvineV1.CFG");
  }
}

TEST(SettingsWrite, AShortWriteIsAFailureToCreateTheFile) {
  MemoryStorage disk;
  disk.shortWrite = true;
  EXPECT_THROW(WriteSettings(disk, kPath, 1), ui::Error);
  disk.shortWrite = false;
  EXPECT_NO_THROW(WriteSettings(disk, kPath, 1));
  EXPECT_EQ(disk.files.at(kPath), "Langue=1;\n\r");
}

}  // namespace
