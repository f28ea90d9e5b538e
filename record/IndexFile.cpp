// The record index's file: its checksums and the writer of its sorted serial numbers.
#include "record/IndexFile.h"

#include <algorithm>

namespace indexfile {

namespace {

// The places section, read field by field; ok turns false at its end.
struct Fields {
  const std::string& Bytes;
  size_t At = 0;
  bool Ok = true;
  uint64_t Number(size_t size) {
    if (!Ok || At + size > Bytes.size()) return Ok = false, 0;
    At += size;
    return size == 4 ? Get32(&Bytes[At - 4]) : Get64(&Bytes[At - 8]);
  }
  std::string Text() {
    const size_t size = static_cast<size_t>(Number(4));
    if (!Ok || At + size > Bytes.size()) return Ok = false, std::string();
    At += size;
    return Bytes.substr(At - size, size);
  }
};

}  // namespace

uint64_t Fnv64(const char* data, size_t size, uint64_t hash) {
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 1099511628211ull;
  }
  return hash;
}

uint32_t Fnv32(const std::string& bytes) {
  uint32_t hash = 2166136261u;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

uint64_t SampleSum(RecordFileHandle& journal, uint64_t size, bool& read) {
  std::string bytes;
  Put64(bytes, size);
  uint64_t hash = Fnv64(bytes.data(), bytes.size());
  auto sample = [&](uint64_t at, uint64_t count) {
    if (!journal.ReadAt(static_cast<int64_t>(at), static_cast<size_t>(count), bytes) || bytes.size() != count)
      read = false;
    hash = Fnv64(bytes.data(), bytes.size(), hash);
  };
  const uint64_t edge = std::min(size, kEdgeBytes);
  sample(0, edge);
  sample(size - edge, edge);
  for (uint64_t k = 1; k <= kSamples; ++k) {
    const uint64_t at = size / (kSamples + 1) * k;
    sample(at, std::min(kSampleBytes, size - at));
  }
  return hash;
}

std::string EncodePlaces(const std::vector<Place>& places) {
  std::string bytes;
  for (const Place& p : places) {
    Put32(bytes, static_cast<uint32_t>(p.Fixture.size()));
    bytes += p.Fixture;
    Put32(bytes, static_cast<uint32_t>(p.Port.size()));
    bytes += p.Port;
    Put32(bytes, p.Serial);
    Put64(bytes, static_cast<uint64_t>(p.Time));
    Put64(bytes, p.Order);
  }
  return bytes;
}

bool DecodePlaces(const std::string& bytes, uint64_t count, std::vector<Place>& places) {
  Fields f{bytes};
  for (uint64_t i = 0; i < count && f.Ok; ++i) {
    Place p;
    p.Fixture = f.Text();
    p.Port = f.Text();
    p.Serial = static_cast<uint32_t>(f.Number(4));
    p.Time = static_cast<int64_t>(f.Number(8));
    p.Order = f.Number(8);
    places.push_back(std::move(p));
  }
  return f.Ok && f.At == bytes.size();
}

std::string Trailer::Encode() const {
  std::string bytes(kMagic, sizeof kMagic);
  for (uint64_t v : {Device, Node, Covered, JournalSum, PlaceCount, PlacesBytes, Entries, BodySum}) Put64(bytes, v);
  Put64(bytes, Fnv64(bytes.data(), bytes.size()));
  return bytes;
}

bool Trailer::Decode(const std::string& bytes) {
  if (bytes.size() != kTrailerSize || bytes.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0 ||
      Get64(&bytes[72]) != Fnv64(bytes.data(), 72))
    return false;
  uint64_t* fields[] = {&Device, &Node, &Covered, &JournalSum, &PlaceCount, &PlacesBytes, &Entries, &BodySum};
  for (size_t i = 0; i < 8; ++i) *fields[i] = Get64(&bytes[8 + 8 * i]);
  return true;
}

void EntryWriter::Add(uint32_t serial, uint32_t place, int64_t time) {
  Put32(block_, serial);
  Put32(block_, place);
  Put64(block_, static_cast<uint64_t>(time));
  ++count_;
  Flush(false);
}

void EntryWriter::Flush(bool last) {
  if (!block_.empty() && (last || block_.size() == kBlockSize)) {
    fences_.push_back(Fence{Get32(block_.data()), Fnv32(block_)});
    pending_ += block_;
    block_.clear();
  }
  if ((last || pending_.size() >= kChunk) && ok_) ok_ = out_.Append(pending_);
  if (pending_.size() >= kChunk || last) pending_.clear();
}

std::string EntryWriter::FenceBytes() const {
  std::string bytes;
  for (const Fence& f : fences_) {
    Put32(bytes, f.First);
    Put32(bytes, f.Checksum);
  }
  return bytes;
}

}  // namespace indexfile
