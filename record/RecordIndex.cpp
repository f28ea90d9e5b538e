// The index beside a record file: loaded and checked against the file, read on from what it covers,
// rewritten whole (a new file put in the old one's place) once the records after it are many.
#include "record/RecordIndex.h"

#include <algorithm>
#include <memory>

using indexfile::EntryWriter;
using indexfile::SampleSum;
using indexfile::Fnv32;
using indexfile::Fnv64;
using indexfile::Get32;
using indexfile::Get64;
using indexfile::kBlockEntries;
using indexfile::kChunk;
using indexfile::kEntrySize;
using indexfile::kTrailerSize;

namespace {

std::string PlaceKey(const std::string& fixture, const std::string& port) {
  return fixture.empty() ? "p" + port : "f" + fixture;
}

}  // namespace

RecordIndex::RecordIndex(RecordFiles& files, std::string journalPath, LineParser parse, Limits limits)
    : files_(files),
      journalPath_(std::move(journalPath)),
      indexPath_(PathFor(journalPath_)),
      parse_(std::move(parse)),
      limits_(limits) {}

bool RecordIndex::Look(RecordFileHandle& journal) {
  journal_ = &journal;
  FileIdentity id;
  const int64_t size = journal.Size();
  if (size < 0 || !journal.Identity(id)) return known_ = false;
  bool read = true;
  const bool same = known_ && id == journalId_ && static_cast<uint64_t>(size) >= looked_ &&
                    SampleSum(journal, looked_, read) == lookedSum_ && read && IndexUnchanged();
  if (!same) {
    journalId_ = id;
    if (!Reload(journal, size, true)) return known_ = false;
  } else if (!ReadRecords(journal, size)) {
    return known_ = false;
  }
  // A failure leaves the records in memory, as many as the journal holds: a folder this account may not
  // write to keeps no index.
  if (looked_ - covered_ >= limits_.TailBytes) Merge(journal);
  lookedSum_ = SampleSum(journal, looked_, read);
  return known_ = read;
}

bool RecordIndex::IndexUnchanged() {
  // No index in use: everything read is in memory, whatever another process wrote since.
  if (trailer_.empty()) return true;
  int error = 0;
  const std::unique_ptr<RecordFileHandle> index = files_.OpenToRead(indexPath_, error);
  const int64_t size = index ? index->Size() : -1;
  std::string trailer;
  return size >= static_cast<int64_t>(kTrailerSize) &&
         index->ReadAt(size - kTrailerSize, kTrailerSize, trailer) && trailer == trailer_;
}

bool RecordIndex::Reload(RecordFileHandle& journal, int64_t size, bool useIndex) {
  places_.clear();
  placeIds_.clear();
  tail_.clear();
  fences_.clear();
  trailer_.clear();
  covered_ = looked_ = entries_ = baseAt_ = 0;
  bool present = false;
  if (useIndex && !LoadIndex(journal, size, present)) {
    places_.clear();
    placeIds_.clear();
    fences_.clear();
    covered_ = looked_ = entries_ = 0;
  }
  if (!ReadRecords(journal, size)) return false;
  // An index that did not match is put right at once, not left for every reader to find wrong.
  if ((present && trailer_.empty()) || !useIndex) Merge(journal);
  return true;
}

bool RecordIndex::LoadIndex(RecordFileHandle& journal, int64_t size, bool& present) {
  int error = 0;
  const std::unique_ptr<RecordFileHandle> index = files_.OpenToRead(indexPath_, error);
  if (!index) return false;
  present = true;
  const int64_t indexSize = index->Size();
  std::string trailer;
  indexfile::Trailer t;
  if (indexSize < static_cast<int64_t>(kTrailerSize) ||
      !index->ReadAt(indexSize - kTrailerSize, kTrailerSize, trailer) || !t.Decode(trailer))
    return false;
  const uint64_t covered = t.Covered;
  const uint64_t placesBytes = t.PlacesBytes;
  const uint64_t entries = t.Entries;
  const uint64_t whole = static_cast<uint64_t>(indexSize);
  // Another journal's, or this one's before it was emptied or replaced: not ours to trust.
  if (t.Device != journalId_.Device || t.Node != journalId_.Node || covered > static_cast<uint64_t>(size) ||
      placesBytes > whole || entries > whole / kEntrySize)
    return false;
  const uint64_t blocks = (entries + kBlockEntries - 1) / kBlockEntries;
  if (placesBytes + entries * kEntrySize + blocks * 8 + kTrailerSize != whole) return false;
  bool read = true;
  if (SampleSum(journal, covered, read) != t.JournalSum || !read) return false;
  std::string places, fences;
  if (!index->ReadAt(0, static_cast<size_t>(placesBytes), places) ||
      !index->ReadAt(static_cast<int64_t>(placesBytes + entries * kEntrySize),
                     static_cast<size_t>(blocks * 8), fences) ||
      places.size() != placesBytes || fences.size() != blocks * 8 ||
      Fnv64(fences.data(), fences.size(), Fnv64(places.data(), places.size())) != t.BodySum)
    return false;
  if (!indexfile::DecodePlaces(places, t.PlaceCount, places_)) return false;
  for (size_t i = 0; i < places_.size(); ++i)
    placeIds_.emplace(PlaceKey(places_[i].Fixture, places_[i].Port), static_cast<uint32_t>(i));
  if (placeIds_.size() != places_.size()) return false;
  for (uint64_t b = 0; b < blocks; ++b)
    fences_.push_back(Fence{Get32(&fences[b * 8]), Get32(&fences[b * 8 + 4])});
  covered_ = looked_ = covered;
  entries_ = entries;
  baseAt_ = placesBytes;
  trailer_ = trailer;
  return true;
}

bool RecordIndex::ReadRecords(RecordFileHandle& journal, int64_t size) {
  const uint64_t end = static_cast<uint64_t>(size);
  std::string chunk;
  std::string line;
  std::string carry;  // a line that goes on in the next chunk
  bool writable = true;
  for (uint64_t at = looked_; at < end;) {
    if (!journal.ReadAt(static_cast<int64_t>(at), static_cast<size_t>(std::min<uint64_t>(kChunk, end - at)),
                        chunk))
      return false;
    if (chunk.empty()) break;
    size_t start = 0;
    for (size_t stop; (stop = chunk.find('\n', start)) != std::string::npos; start = stop + 1) {
      const uint64_t lineAt = at + start - carry.size();
      line.assign(carry).append(chunk, start, stop - start);
      carry.clear();
      if (!line.empty() && line.back() == '\r') line.pop_back();
      RecordSeen seen;
      if (parse_(line, seen)) Take(seen, lineAt);
      looked_ = at + stop + 1;
      if (tail_.size() >= limits_.SegmentRecords && writable) writable = Merge(journal);
    }
    // A last line without its end is a record being written, or one a power cut left: read again later.
    carry.append(chunk, start, std::string::npos);
    at += chunk.size();
  }
  return true;
}

void RecordIndex::Take(const RecordSeen& seen, uint64_t order) {
  // A record without a serial number says nothing of the flags.
  if (!seen.HasSerial) return;
  const std::string port = seen.Fixture.empty() ? seen.Port : std::string();
  const auto placed = placeIds_.emplace(PlaceKey(seen.Fixture, port), static_cast<uint32_t>(places_.size()));
  if (placed.second) places_.push_back(Place{seen.Fixture, port});
  Place& place = places_[placed.first->second];
  place.Serial = seen.Serial;
  place.Time = seen.Time;
  place.Order = order;
  tail_[seen.Serial] = Last{placed.first->second, seen.Time};
}

bool RecordIndex::LastAt(const SamePlace& same, RecordSeen& last) {
  const Place* found = nullptr;
  RecordSeen place;
  for (const Place& p : places_) {
    place.Fixture = p.Fixture;
    place.Port = p.Port;
    if ((found == nullptr || p.Order > found->Order) && same(place)) found = &p;
  }
  if (found == nullptr) return false;
  last = RecordSeen{found->Fixture, found->Port, true, found->Serial, found->Time};
  return true;
}

bool RecordIndex::LastOf(uint32_t serial, RecordSeen& last) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto fresh = tail_.find(serial);
    if (fresh != tail_.end()) {
      const Place& p = places_[fresh->second.Place];
      last = RecordSeen{p.Fixture, p.Port, true, serial, fresh->second.Time};
      return true;
    }
    const auto fence = std::upper_bound(fences_.begin(), fences_.end(), serial,
                                        [](uint32_t s, const Fence& f) { return s < f.First; });
    if (fence == fences_.begin()) return false;
    std::string block;
    bool read = false;
    {
      int error = 0;
      // Closed before the index may be written anew: Windows puts no file in the place of an open one.
      const std::unique_ptr<RecordFileHandle> index = files_.OpenToRead(indexPath_, error);
      read = index && BaseBlock(*index, static_cast<size_t>(fence - fences_.begin() - 1), block);
    }
    if (read) {
      size_t low = 0, high = block.size() / kEntrySize;
      while (low < high) {
        const size_t mid = (low + high) / 2;
        if (Get32(&block[mid * kEntrySize]) < serial)
          low = mid + 1;
        else
          high = mid;
      }
      if (low == block.size() / kEntrySize || Get32(&block[low * kEntrySize]) != serial) return false;
      const uint32_t at = Get32(&block[low * kEntrySize + 4]);
      if (at < places_.size()) {
        last = RecordSeen{places_[at].Fixture, places_[at].Port, true, serial,
                          static_cast<int64_t>(Get64(&block[low * kEntrySize + 8]))};
        return true;
      }
    }
    // A block that is not what its fence says, or an index gone: not trusted; the journal is read again
    // from its start, and the index written anew.
    if (journal_ == nullptr || !Reload(*journal_, journal_->Size(), false)) return false;
  }
  return false;
}

bool RecordIndex::BaseBlock(RecordFileHandle& index, size_t block, std::string& bytes) {
  const uint64_t first = static_cast<uint64_t>(block) * kBlockEntries;
  if (block >= fences_.size() || first >= entries_) return false;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(kBlockEntries, entries_ - first)) * kEntrySize;
  return index.ReadAt(static_cast<int64_t>(baseAt_ + first * kEntrySize), count, bytes) &&
         bytes.size() == count && Fnv32(bytes) == fences_[block].Checksum &&
         Get32(bytes.data()) == fences_[block].First;
}

bool RecordIndex::Merge(RecordFileHandle& journal) {
  bool read = true;
  const uint64_t sum = SampleSum(journal, looked_, read);
  if (!read) return false;
  std::unique_ptr<RecordFileHandle> old;
  if (entries_ > 0) {
    int error = 0;
    old = files_.OpenToRead(indexPath_, error);
  }
  if (entries_ > 0 && !old) return false;
  if (WriteIndex(old, sum)) return true;
  files_.Remove(indexPath_ + ".new");
  return false;
}

bool RecordIndex::MergeEntries(RecordFileHandle* old, EntryWriter& entries) {
  // The records after the covered part, in the order of their serial numbers, as the blocks are.
  std::vector<std::pair<uint32_t, Last>> fresh(tail_.begin(), tail_.end());
  size_t next = 0;
  std::string oldBlock;
  for (size_t b = 0; b < fences_.size() && entries.Ok(); ++b) {
    // A damaged block is no ground to build on: the caller reads the journal again.
    if (old == nullptr || !BaseBlock(*old, b, oldBlock)) return false;
    for (size_t e = 0; e < oldBlock.size(); e += kEntrySize) {
      const uint32_t serial = Get32(&oldBlock[e]);
      for (; next < fresh.size() && fresh[next].first < serial; ++next)
        entries.Add(fresh[next].first, fresh[next].second.Place, fresh[next].second.Time);
      // The record after the covered part is the newer one.
      if (next < fresh.size() && fresh[next].first == serial) continue;
      entries.Add(serial, Get32(&oldBlock[e + 4]), static_cast<int64_t>(Get64(&oldBlock[e + 8])));
    }
  }
  for (; next < fresh.size(); ++next) entries.Add(fresh[next].first, fresh[next].second.Place, fresh[next].second.Time);
  return true;
}

bool RecordIndex::WriteIndex(std::unique_ptr<RecordFileHandle>& old, uint64_t journalSum) {
  int error = 0;
  const std::string temp = indexPath_ + ".new";
  std::unique_ptr<RecordFileHandle> out = files_.Open(temp, true, error);
  if (!out) return false;
  const std::string places = indexfile::EncodePlaces(places_);
  EntryWriter entries(*out, places);
  if (!MergeEntries(old.get(), entries)) return false;
  bool ok = entries.Finish();
  const std::string fenceBytes = entries.FenceBytes();
  indexfile::Trailer t;
  t.Device = journalId_.Device;
  t.Node = journalId_.Node;
  t.Covered = looked_;
  t.JournalSum = journalSum;
  t.PlaceCount = places_.size();
  t.PlacesBytes = places.size();
  t.Entries = entries.Count();
  t.BodySum = Fnv64(fenceBytes.data(), fenceBytes.size(), Fnv64(places.data(), places.size()));
  const std::string trailer = t.Encode();
  ok = ok && out->Append(fenceBytes + trailer);
  // Both closed first: Windows puts no file in the place of an open one.
  out.reset();
  old.reset();
  if (!ok || !files_.Replace(temp, indexPath_, error)) return false;
  fences_ = entries.Fences();
  entries_ = entries.Count();
  baseAt_ = places.size();
  covered_ = looked_;
  trailer_ = trailer;
  tail_.clear();
  return true;
}
