// The file of a record index (FILE.idx), byte by byte: what RecordIndex writes and reads back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/RecordFile.h"

namespace indexfile {

// The index file: the places (each with its last record), the serial numbers in order (16 bytes each:
// the number, its place, its record's time) by blocks of 256, a fence per block (its first number and
// checksum), then the trailer, read first, which says what of the journal the index covers.
constexpr char kMagic[8] = {'B', 'R', 'V', 'I', 'D', 'X', '1', '\n'};
constexpr size_t kTrailerSize = 80;
constexpr size_t kEntrySize = 16;
constexpr size_t kBlockEntries = 256;
constexpr size_t kBlockSize = kEntrySize * kBlockEntries;
constexpr size_t kChunk = 1 << 20;
// Samples of the covered part that the trailer keeps a checksum of: its first and last bytes, and a few
// between, so that a file emptied and written again, or another one, does not pass for it.
constexpr uint64_t kEdgeBytes = 4096;
constexpr uint64_t kSamples = 8;
constexpr uint64_t kSampleBytes = 64;

uint64_t Fnv64(const char* data, size_t size, uint64_t hash = 14695981039346656037ull);
uint32_t Fnv32(const std::string& bytes);

inline void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}
inline void Put64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>(v >> (8 * i));
}
inline uint32_t Get32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}
inline uint64_t Get64(const char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

// A place (a fixture, or a port without one) and its last record with a serial number.
struct Place {
  std::string Fixture;
  std::string Port;
  uint32_t Serial = 0;
  int64_t Time = 0;
  uint64_t Order = 0;  // where its last record begins in the journal
};
// The places section, and its bytes read back: false unless they are count places exactly.
std::string EncodePlaces(const std::vector<Place>& places);
bool DecodePlaces(const std::string& bytes, uint64_t count, std::vector<Place>& places);

// A checksum of samples of the journal's first size bytes (its size among them): the first and last
// kEdgeBytes, and kSamples between. read turns false when they cannot be read.
uint64_t SampleSum(RecordFileHandle& journal, uint64_t size, bool& read);

// The trailer, the file's last kTrailerSize bytes: what of which journal the index covers, the shape of
// the sections before it and their checksum, and its own checksum last.
struct Trailer {
  uint64_t Device = 0;  // the journal's identity
  uint64_t Node = 0;
  uint64_t Covered = 0;     // the journal's bytes the index covers
  uint64_t JournalSum = 0;  // samples of them
  uint64_t PlaceCount = 0;
  uint64_t PlacesBytes = 0;
  uint64_t Entries = 0;
  uint64_t BodySum = 0;  // of the places and the fences
  std::string Encode() const;
  // False for bytes that are not a whole trailer of ours.
  bool Decode(const std::string& bytes);
};

// A block of serial numbers: its first number and the checksum of its bytes.
struct Fence {
  uint32_t First = 0;
  uint32_t Checksum = 0;
};

// The serial numbers, given in order, written after the places (head) block by block, each block fenced,
// the bytes appended a chunk at a time so that memory stays small whatever their number.
class EntryWriter {
 public:
  EntryWriter(RecordFileHandle& out, std::string head) : out_(out), pending_(std::move(head)) {}
  void Add(uint32_t serial, uint32_t place, int64_t time);
  // Appends what is left; false when an append failed (then or before).
  bool Finish() { return Flush(true), ok_; }
  bool Ok() const { return ok_; }
  uint64_t Count() const { return count_; }
  const std::vector<Fence>& Fences() const { return fences_; }
  // The fences as the file holds them, after the blocks.
  std::string FenceBytes() const;

 private:
  void Flush(bool last);

  RecordFileHandle& out_;
  std::string pending_;
  std::string block_;
  std::vector<Fence> fences_;
  uint64_t count_ = 0;
  bool ok_ = true;
};

}  // namespace indexfile
