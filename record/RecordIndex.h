// What a record file holds for the repeat and duplicate flags, kept beside it (FILE.idx) so that a
// reading does not read a year of records again: the last record of each place, and the last record of
// each serial number. The file is the truth: the index is derived from it, checked against it at each
// look, and rebuilt from it when it does not match.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/RecordFile.h"
#include "record/IndexFile.h"
#include "record/RecordReader.h"

// When the records after the part the index covers are written into it: once they span TailBytes of
// the journal (a look reads at most that much again), and while a long journal is read from its start
// (the index rebuilt), every SegmentRecords records, so that memory stays small whatever its length.
struct RecordIndexLimits {
  uint64_t TailBytes = 256 * 1024;
  size_t SegmentRecords = 65536;
};

class RecordIndex {
 public:
  // A record read back from one line of the file (without its end); false for a line that is none.
  using LineParser = std::function<bool(const std::string& line, RecordSeen& seen)>;
  // Whether a record's place (its fixture, or its port without one) is the place asked about.
  using SamePlace = std::function<bool(const RecordSeen& place)>;

  using Limits = RecordIndexLimits;
  RecordIndex(RecordFiles& files, std::string journalPath, LineParser parse, Limits limits = Limits());
  RecordIndex(const RecordIndex&) = delete;
  RecordIndex& operator=(const RecordIndex&) = delete;

  // Under the journal's lock: what is known brought up to the journal's end. The index beside it is
  // taken when it matches the journal (its identity, and samples of the part it covers) and rebuilt
  // otherwise; the records after the part it covers are read, and written into it once they are many.
  // False when the journal cannot be read (a file this account may only write): nothing is known.
  bool Look(RecordFileHandle& journal);
  // Under the same lock, after Look: the last record with a serial number at a place, and the last record
  // of a serial number; false when there is none.
  bool LastAt(const SamePlace& same, RecordSeen& last);
  bool LastOf(uint32_t serial, RecordSeen& last);

  // The file beside the journal.
  static std::string PathFor(const std::string& journalPath) { return journalPath + ".idx"; }

 private:
  using Place = indexfile::Place;
  struct Last {
    uint32_t Place = 0;
    int64_t Time = 0;
  };
  using Fence = indexfile::Fence;

  bool Reload(RecordFileHandle& journal, int64_t size, bool useIndex);
  bool LoadIndex(RecordFileHandle& journal, int64_t size, bool& present);
  bool ReadRecords(RecordFileHandle& journal, int64_t size);
  void Take(const RecordSeen& seen, uint64_t order);
  bool Merge(RecordFileHandle& journal);
  bool WriteIndex(std::unique_ptr<RecordFileHandle>& old, uint64_t journalSum);
  bool MergeEntries(RecordFileHandle* old, indexfile::EntryWriter& entries);
  bool BaseBlock(RecordFileHandle& index, size_t block, std::string& bytes);
  bool IndexUnchanged();

  RecordFiles& files_;
  std::string journalPath_;
  std::string indexPath_;
  LineParser parse_;
  Limits limits_;
  RecordFileHandle* journal_ = nullptr;  // while locked

  bool known_ = false;
  FileIdentity journalId_;
  uint64_t looked_ = 0;     // the journal's bytes taken in, up to a line end
  uint64_t lookedSum_ = 0;  // samples of them
  std::vector<Place> places_;
  std::map<std::string, uint32_t> placeIds_;
  // The index file: the part of the journal it covers, its sorted serial numbers by blocks, its trailer.
  uint64_t covered_ = 0;
  uint64_t entries_ = 0;
  uint64_t baseAt_ = 0;
  std::vector<Fence> fences_;
  std::string trailer_;
  // The records after the part it covers, by serial number.
  std::map<uint32_t, Last> tail_;
};
