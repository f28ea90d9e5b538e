// The index beside a record file answers as a reading of the whole file would, whatever was done to the
// index or the file since it was written: small files, small limits, and damage of every kind.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>

#include "posix/PosixRecordFile.h"
#include "record/RecordCodec.h"
#include "record/RecordIndex.h"
#include "record/RecordReader.h"

namespace {

// The i-th record of a bench: three named fixtures and unnamed ports (one with a line break in its
// name), serial numbers that come back on other places, and readings without one.
ReadingRecord Nth(int i) {
  ReadingRecord r;
  r.Fixture = i % 4 == 0 ? "" : std::string(1, static_cast<char>('A' + i % 3));
  r.Port = i % 8 == 0 ? "/dev/odd\nport" : "/dev/ttyUSB" + std::to_string(i % 2);
  r.Reading.HasSerial = i % 11 != 5;
  r.Reading.Serial = static_cast<uint32_t>(i) * 7919u % 2000u;
  r.StartUnixMs = 1790000000000 + i * 1000;
  return r;
}

struct Journal {
  bool Csv = false;
  std::string Path;
  void Add(int from, int to) const {
    std::ofstream out(Path, std::ios::app | std::ios::binary);
    if (Csv && from == 0) out << CsvHeader(';') << "\r\n";
    for (int i = from; i < to; ++i) out << (Csv ? RecordCsv(Nth(i), ';') + "\r" : RecordJson(Nth(i))) << "\n";
  }
  bool Parse(const std::string& line, RecordSeen& seen) const {
    CsvShape shape;
    shape.Separator = ';';
    return Csv ? ParseCsvRecord(line, shape, seen) : ParseRecordLine(line, seen);
  }
};

std::string Key(const RecordSeen& s) { return s.Fixture.empty() ? "port " + s.Port : "fixture " + s.Fixture; }

// Every place's last record and every serial number's, by a reading of the whole file, asked of the index.
void ExpectAnswersOfWholeFile(RecordIndex& index, const Journal& journal, const std::string& when) {
  std::map<std::string, RecordSeen> atPlace;
  std::map<uint32_t, RecordSeen> ofSerial;
  std::ifstream in(journal.Path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    RecordSeen seen;
    if (!journal.Parse(line, seen) || !seen.HasSerial) continue;
    atPlace[Key(seen)] = seen;
    ofSerial[seen.Serial] = seen;
  }
  ASSERT_FALSE(atPlace.empty()) << when;
  for (const auto& [key, want] : atPlace) {
    RecordSeen got;
    ASSERT_TRUE(index.LastAt([&](const RecordSeen& p) { return Key(p) == key; }, got)) << when << ": " << key;
    EXPECT_EQ(std::make_tuple(got.Serial, got.Time), std::make_tuple(want.Serial, want.Time))
        << when << ": " << key;
  }
  for (uint32_t serial = 0; serial < 2000; ++serial) {
    RecordSeen got;
    const auto want = ofSerial.find(serial);
    ASSERT_EQ(index.LastOf(serial, got), want != ofSerial.end()) << when << ": " << serial;
    if (want != ofSerial.end()) {
      EXPECT_EQ(std::make_tuple(Key(got), got.Time), std::make_tuple(Key(want->second), want->second.Time))
          << when << ": " << serial;
    }
  }
}

class RecordIndexTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/bravelle-index-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    journal_.Csv = GetParam();
    journal_.Path = folder_ + "/units";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // A process's look at the journal, under its lock, as a reading makes it.
  std::unique_ptr<RecordIndex> Look(const Journal& journal, std::unique_ptr<RecordIndex> index = nullptr) {
    if (!index)
      index = std::make_unique<RecordIndex>(
          files_, journal.Path,
          [&journal](const std::string& line, RecordSeen& seen) { return journal.Parse(line, seen); },
          RecordIndex::Limits{2048, 50});
    int error = 0;
    file_ = files_.Open(journal.Path, false, error);
    EXPECT_TRUE(file_ && file_->Lock() && index->Look(*file_));
    return index;
  }
  void Damage(const std::string& path, int64_t at, size_t count) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f << std::string(count, '\x55');
  }

  PosixRecordFiles files_;
  std::unique_ptr<RecordFileHandle> file_;
  std::string folder_;
  Journal journal_;
};

TEST_P(RecordIndexTest, AnswersAsTheWholeFileDoesAfterEachKindOfDamage) {
  const std::string index = RecordIndex::PathFor(journal_.Path);
  journal_.Add(0, 300);
  ExpectAnswersOfWholeFile(*Look(journal_), journal_, "built");
  // Taken as it is by the next look: not written again.
  struct stat before {
  }, after{};
  ASSERT_EQ(stat(index.c_str(), &before), 0);
  Look(journal_);
  ASSERT_EQ(stat(index.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  // A watch that keeps looking while others append, without the index or through their own.
  std::unique_ptr<RecordIndex> watch = Look(journal_);
  journal_.Add(300, 340);
  watch = Look(journal_, std::move(watch));
  ExpectAnswersOfWholeFile(*watch, journal_, "appended by another writer");
  journal_.Add(340, 420);
  Look(journal_);  // another process rewrites the index
  ExpectAnswersOfWholeFile(*Look(journal_, std::move(watch)), journal_, "index rewritten by another process");

  const int64_t size = static_cast<int64_t>(std::filesystem::file_size(index));
  const std::pair<const char*, std::function<void()>> damages[] = {
      {"a few bytes of a block", [&] { Damage(index, size / 2, 40); }},
      {"a byte of the trailer", [&] { Damage(index, size - 30, 1); }},
      {"cut short", [&] { std::filesystem::resize_file(index, size / 3); }},
      {"removed", [&] { std::filesystem::remove(index); }},
      {"another journal's",
       [&] {
         const Journal other{journal_.Csv, folder_ + "/other"};
         other.Add(2000, 2100);
         Look(other);
         std::filesystem::copy_file(RecordIndex::PathFor(other.Path), index,
                                    std::filesystem::copy_options::overwrite_existing);
       }},
      {"the journal emptied and written again",
       [&] {
         std::filesystem::resize_file(journal_.Path, 0);
         journal_.Add(0, 1);
         journal_.Add(1000, 1500);
       }},
      {"the journal replaced",
       [&] {
         const std::string fresh = folder_ + "/fresh";
         std::filesystem::copy_file(journal_.Path, fresh);
         const Journal replaced{journal_.Csv, fresh};
         replaced.Add(500, 520);
         std::filesystem::rename(fresh, journal_.Path);
       }},
  };
  for (const auto& [what, damage] : damages) {
    Look(journal_);
    damage();
    ExpectAnswersOfWholeFile(*Look(journal_), journal_, what);
  }
}

INSTANTIATE_TEST_SUITE_P(JsonAndCsv, RecordIndexTest, ::testing::Bool());

}  // namespace
