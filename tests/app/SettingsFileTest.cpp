// The settings file: what the reader accepts, the exact bytes the writer produces, and its failures.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "forms/SettingsErrorText.h"
#include "text/SettingsFile.h"
#include "text/Utf8.h"
#include "tests/support/FakeSettingsStorage.h"

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
const std::string kUserPath = "C:\\Users\\tech\\AppData\\Local\\Bravelle\\CalvineV1.CFG";
const std::string kVirtualStorePath = "C:\\Users\\tech\\AppData\\Local\\VirtualStore\\Windows\\CalvineV1.CFG";
const std::string kFrench = "Langue=0;\n\r";
const std::string kEnglish = "Langue=1;\n\r";

// text: a toolkit text (CP1252) and a path, as the window program words the error; its messages are UTF-8.
void ExpectError(const std::function<void()>& f, const std::string& text) {
  try {
    f();
    ADD_FAILURE() << "no error, expected " << text;
  } catch (const SettingsError& e) {
    EXPECT_EQ(SettingsErrorText(e), Utf8FromCp1252(text));
  }
}

TEST(SettingsLoad, MissingFileIsCreatedForFrenchOnceInTheWindowsDirectory) {
  FakeSettingsStorage disk;
  const StoredSettings s = LoadOrCreateSettings(disk);
  EXPECT_EQ(s.Path, kPath);
  EXPECT_EQ(s.Language, 0);
  EXPECT_EQ(disk.Files, (std::map<std::string, std::string>{{kPath, kFrench}}));
  EXPECT_EQ(disk.Creates, 1);
  EXPECT_EQ(disk.Reads, 0);
  // A writable Windows directory leaves the user's folder alone.
  EXPECT_EQ(disk.Folders.count("C:\\Users\\tech\\AppData\\Local\\Bravelle"), 0u);
}

TEST(SettingsLoad, OnlyTheFirst200BytesUpToAZeroByteAreSeen) {
  FakeSettingsStorage disk;
  disk.Files[kPath] = "Langue=1" + std::string(191, ' ') + ";";  // ";" is byte 200 (1-based)
  EXPECT_EQ(LoadOrCreateSettings(disk).Language, 1);
  disk.Files[kPath] = "Langue=1" + std::string(192, ' ') + ";";  // ";" is byte 201
  EXPECT_EQ(LoadOrCreateSettings(disk).Language, 0);
  disk.Files[kPath] = std::string("Langue=1\0;", 10);
  EXPECT_EQ(LoadOrCreateSettings(disk).Language, 0);
  EXPECT_EQ(disk.Creates, 0);  // reading never rewrites
}

TEST(SettingsLoad, FileErrorsCarryTheToolkitTextsWithThePath) {
  FakeSettingsStorage disk;
  disk.Files[kPath] = "Langue=1;";
  disk.Unreadable.insert(kPath);
  ExpectError([&] { LoadOrCreateSettings(disk); },
              "Impossible d'ouvrir le fichier C:\\windows\\CalvineV1.CFG");
  FakeSettingsStorage empty;
  empty.CreateFails = true;
  ExpectError([&] { LoadOrCreateSettings(empty); },
              "Impossible de cr\xE9"
              "er le fichier C:\\windows\\CalvineV1.CFG");
  EXPECT_TRUE(empty.Files.empty());
}

TEST(SettingsWrite, AShortWriteIsAFailureToCreateTheFile) {
  FakeSettingsStorage disk;
  disk.ShortBy = 1;
  EXPECT_THROW(WriteSettings(disk, kPath, 1), SettingsError);
  disk.ShortBy = 0;
  EXPECT_EQ(WriteSettings(disk, kPath, 1), kPath);
  EXPECT_EQ(disk.Files.at(kPath), kEnglish);
}

TEST(SettingsLoad, OnlyRefusalsMoveTheFileAndAFailedReadIsNoFrenchFile) {
  struct Case {
    const char* label;
    uint32_t createError;  // Windows error of any file creation in the Windows directory
    bool readFails;        // an English file there opens, then cannot be read
    std::string path;      // where the settings are made, or empty
    std::string error;     // or start-up's error
  };
  const std::string cannotCreate = "Impossible de cr\xE9" "er le fichier " + kPath;
  const Case cases[] = {
      {"access denied", 5, false, kUserPath, ""},
      {"write-protected medium", 19, false, kUserPath, ""},
      {"privilege not held", 1314, false, kUserPath, ""},
      {"sharing violation", 32, false, "", cannotCreate},
      {"disk full", 112, false, "", cannotCreate},
      {"read failing after open", 0, true, "", "Impossible d'ouvrir le fichier " + kPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FakeSettingsStorage disk;
    if (c.createError != 0) disk.CreateErrors[disk.Directory] = c.createError;
    if (c.readFails) {
      disk.Files[kPath] = kEnglish;
      disk.Unreadable.insert(kPath);
    }
    if (!c.error.empty()) {
      ExpectError([&] { LoadOrCreateSettings(disk); }, c.error);
      continue;
    }
    EXPECT_EQ(LoadOrCreateSettings(disk).Path, c.path);
    EXPECT_EQ(disk.Files.at(c.path), kFrench);
  }
}

TEST(SettingsStandardAccount, FirstStartMakesTheUsersFileAndKeepsTheChoiceThere) {
  FakeSettingsStorage disk;
  disk.StandardAccount();
  StoredSettings s = LoadOrCreateSettings(disk);
  EXPECT_EQ(s.Path, kUserPath);
  EXPECT_EQ(s.Language, 0);
  EXPECT_EQ(disk.Files, (std::map<std::string, std::string>{{kUserPath, kFrench}}));

  // English chosen: the user's own file is rewritten, nothing else tried.
  const int writesBefore = disk.Creates;
  EXPECT_EQ(WriteSettings(disk, s.Path, 1), kUserPath);
  EXPECT_EQ(disk.Creates, writesBefore + 1);
  s = LoadOrCreateSettings(disk);
  EXPECT_EQ(s.Path, kUserPath);
  EXPECT_EQ(s.Language, 1);
  EXPECT_EQ(disk.Files.at(kUserPath), kEnglish);
  EXPECT_EQ(disk.Files.count(kPath), 0u);
}

TEST(SettingsStandardAccount, AReadableEnglishFileThatCannotBeRewrittenMovesToTheUsersFile) {
  FakeSettingsStorage disk;
  disk.Files[kPath] = "Langue=1;\n\rAutre=2;";
  disk.StandardAccount();
  const StoredSettings s = LoadOrCreateSettings(disk);
  EXPECT_EQ(s.Path, kPath);
  EXPECT_EQ(s.Language, 1);
  // Start-up's canonical rewrite is refused there: the user's file takes it, no error.
  EXPECT_EQ(WriteSettings(disk, s.Path, 1), kUserPath);
  EXPECT_EQ(disk.Files.at(kUserPath), kEnglish);
  EXPECT_EQ(disk.Files.at(kPath), "Langue=1;\n\rAutre=2;");
  // From then on the user's file is the one read, even if the other says French.
  disk.Files[kPath] = kFrench;
  EXPECT_EQ(LoadOrCreateSettings(disk).Path, kUserPath);
  EXPECT_EQ(LoadOrCreateSettings(disk).Language, 1);
}

TEST(SettingsStandardAccount, ANewUsersFileIsSeededFromTheVirtualStoreCopy) {
  struct Case {
    const char* label;
    std::string copy;  // empty: no copy
    bool copyReadable;
    int32_t language;
  };
  const Case cases[] = {
      {"English copy", "Langue=1;\n\r", true, 1},
      {"English copy in a looser form", " Langue = 1 ;", true, 1},
      {"French copy", kFrench, true, 0},
      {"unusable value", "Langue=2;", true, 0},
      {"copy held open elsewhere", kEnglish, false, 0},
      {"no copy", "", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FakeSettingsStorage disk;
    disk.StandardAccount();
    if (!c.copy.empty()) disk.Files[kVirtualStorePath] = c.copy;
    if (!c.copyReadable) disk.Unreadable.insert(kVirtualStorePath);
    const StoredSettings s = LoadOrCreateSettings(disk);
    EXPECT_EQ(s.Path, kUserPath);
    EXPECT_EQ(s.Language, c.language);
    // Only the language is carried over: the new file holds the canonical line.
    EXPECT_EQ(disk.Files.at(kUserPath), FormatSettingsLine(static_cast<uint32_t>(c.language)));
    EXPECT_EQ(disk.Files.count(kVirtualStorePath), c.copy.empty() ? 0u : 1u);
  }
  // A Windows directory file that may not even be read gives way to the copy too.
  FakeSettingsStorage disk;
  disk.StandardAccount();
  disk.Files[kPath] = kFrench;
  disk.ReadDenied.insert(kPath);
  disk.Files[kVirtualStorePath] = kEnglish;
  EXPECT_EQ(LoadOrCreateSettings(disk).Language, 1);
  EXPECT_EQ(disk.Files.at(kUserPath), kEnglish);
}

TEST(SettingsStandardAccount, TheErrorNamesThePathTriedLast) {
  FakeSettingsStorage disk;
  disk.StandardAccount();
  disk.DeniedFolders.insert("C:\\Users\\tech\\AppData\\Local\\Bravelle");
  const std::string user =
      "Impossible de cr\xE9"
      "er le fichier " +
      kUserPath;
  ExpectError([&] { LoadOrCreateSettings(disk); }, user);
  ExpectError([&] { WriteSettings(disk, kPath, 1); }, user);
  ExpectError([&] { WriteSettings(disk, kUserPath, 1); }, user);
  EXPECT_TRUE(disk.Files.empty());

  // A system that names no user folder leaves the Windows directory as the last try.
  FakeSettingsStorage bare;
  bare.LocalAppData = "";
  bare.StandardAccount();
  ExpectError([&] { LoadOrCreateSettings(bare); },
              "Impossible de cr\xE9"
              "er le fichier " +
                  kPath);

  // The user's file held open by another program cannot be read: no other file is tried.
  FakeSettingsStorage held;
  held.Files[kUserPath] = kEnglish;
  held.Files[kPath] = kFrench;
  held.Unreadable.insert(kUserPath);
  ExpectError([&] { LoadOrCreateSettings(held); }, "Impossible d'ouvrir le fichier " + kUserPath);
  // Only a refusal moves the file: other write failures are reported where they happened.
  held.CreateFails = true;
  ExpectError([&] { WriteSettings(held, kPath, 1); },
              "Impossible de cr\xE9"
              "er le fichier " +
                  kPath);
}

TEST(SettingsFind, ReadsTheFileStartUpWouldAndWritesNothing) {
  FakeSettingsStorage disk;
  disk.StandardAccount();
  EXPECT_EQ(FindStoredSettings(disk).Path, "");
  EXPECT_EQ(FindStoredSettings(disk).Language, 0);
  disk.Files[kVirtualStorePath] = kEnglish;
  EXPECT_EQ(FindStoredSettings(disk).Path, kVirtualStorePath);
  EXPECT_EQ(FindStoredSettings(disk).Language, 1);
  disk.Files[kPath] = kFrench;
  EXPECT_EQ(FindStoredSettings(disk).Path, kPath);
  EXPECT_EQ(FindStoredSettings(disk).Language, 0);
  disk.Files[kUserPath] = "Langue=1;";
  EXPECT_EQ(FindStoredSettings(disk).Path, kUserPath);
  EXPECT_EQ(FindStoredSettings(disk).Language, 1);
  // A file that cannot be read is passed over.
  disk.Unreadable.insert(kUserPath);
  EXPECT_EQ(FindStoredSettings(disk).Path, kPath);
  EXPECT_EQ(disk.Creates, 0);
}

}  // namespace
