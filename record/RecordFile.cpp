// The writer of record files: every record whole at the file's end, whoever else writes it.
#include "record/RecordFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "record/RecordCodec.h"

namespace {

// As far as a CSV file's first line is looked for: our header is a few hundred bytes.
constexpr int64_t kHeaderLook = 64 * 1024;

}  // namespace

RecordFile::RecordFile(RecordFiles& files, Format format, char separator) : files_(files), format_(format) {
  shape_.Separator = separator;
}

bool RecordFile::Open(const std::string& path) {
  path_ = path;
  int error = 0;
  file_ = files_.Open(path, false, error);
  if (file_ == nullptr) {
    error_ = error != 0 ? error : EIO;
    return false;
  }
  if (!file_->Regular()) return format_ != Csv || WriteLine(CsvHeader(shape_.Separator));
  index_ = std::make_unique<RecordIndex>(files_, path, [this](const std::string& line, RecordSeen& seen) {
    return format_ == Csv ? ParseCsvRecord(line, shape_, seen) : ParseRecordLine(line, seen);
  });
  if (!file_->Lock()) {
    error_ = file_->Error();
    file_.reset();
    return false;
  }
  const bool ours = LookLocked();
  file_->Unlock();
  if (!ours) file_.reset();
  return ours;
}

bool RecordFile::OpenStream(std::unique_ptr<RecordFileHandle> stream) {
  file_ = std::move(stream);
  // A stream is no file a spreadsheet opens: no mark.
  shape_.Mark = false;
  return format_ != Csv || WriteLine(CsvHeader(shape_.Separator));
}

bool RecordFile::LookLocked() {
  if (format_ == Csv && !ReadHeader()) return false;
  known_ = index_->Look(*file_);
  return true;
}

bool RecordFile::ReadHeader() {
  headerCut_ = false;
  const int64_t size = file_->Size();
  std::string bytes;
  // Empty, or a file this account may only write: taken as ours, in the shape it has.
  if (size <= 0 || !file_->ReadAt(0, static_cast<size_t>(std::min(size, kHeaderLook)), bytes)) return true;
  const size_t end = bytes.find('\n');
  if (end == std::string::npos) {
    // Without a line end: NUL bytes a power cut left, or our header cut short, are no header yet.
    CsvShape shape = shape_;
    if (static_cast<int64_t>(bytes.size()) == size && CutCsvHeader(bytes, shape)) {
      shape_ = shape;
      headerCut_ = true;
      return true;
    }
    return ForeignLine(bytes);
  }
  std::string line = bytes.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  // The file keeps its own separator, mark and columns; another program's file is left alone.
  CsvShape shape;
  if (!ParseCsvHeader(line, shape)) return ForeignLine(line);
  shape_ = shape;
  return true;
}

bool RecordFile::ForeignLine(const std::string& line) {
  foreign_ = true;
  foreignHeader_ = line;
  return false;
}

bool RecordFile::WriteLine(const std::string& line) {
  if (file_ == nullptr || error_ != 0) return false;
  if (!file_->Append(line + LineEnd())) {
    error_ = file_->Error();
    return false;
  }
  return true;
}

bool RecordFile::Reopen() {
  int error = 0;
  std::unique_ptr<RecordFileHandle> fresh = files_.Open(path_, false, error);
  // The old file is let go either way: its lock must not outlive the append.
  file_->Unlock();
  if (fresh == nullptr || !fresh->Lock()) {
    error_ = fresh == nullptr ? (error != 0 ? error : EIO) : fresh->Error();
    return false;
  }
  file_ = std::move(fresh);
  return true;
}

bool RecordFile::Lock() {
  if (file_ == nullptr || error_ != 0) return false;
  if (!file_->Regular()) return true;
  if (!file_->Lock()) {
    error_ = file_->Error();
    return false;
  }
  // Renamed by a rotation or deleted: the records go on under the name the user gave.
  if (!file_->StillNamed() && !Reopen()) return false;
  if (!LookLocked()) {
    // Another program's CSV file now stands under the name: it is not written.
    error_ = EINVAL;
    file_->Unlock();
    return false;
  }
  return true;
}

void RecordFile::Unlock() {
  if (file_ != nullptr && file_->Regular()) file_->Unlock();
}

bool RecordFile::Identity(FileIdentity& identity) const {
  return file_ != nullptr && file_->Regular() && file_->Identity(identity);
}

bool RecordFile::AppendLocked(const ReadingRecord& record) {
  if (file_ == nullptr || error_ != 0) return false;
  const std::string end = LineEnd();
  const std::string line =
      format_ == Csv ? RecordCsv(record, shape_.Separator, shape_.Schema) : RecordJson(record);
  if (!file_->Regular()) return WriteLine(line);
  int64_t size = file_->Size();
  // Nothing of a record is lost in starting such a file again.
  if (size > 0 && headerCut_ && !file_->Truncate(0)) size = -1;
  if (size < 0) {
    error_ = file_->Error();
    return false;
  }
  if (headerCut_) size = 0;
  std::string text;
  std::string tail;
  // A file this account may only write cannot be looked at: its end is taken as whole.
  if (size > 0 && !file_->ReadAt(size - 1, 1, tail)) tail = "\n";
  if (size == 0 && format_ == Csv) {
    // New, or emptied under us (copytruncate): the header again, in the file's own shape.
    text = (shape_.Mark ? kUtf8Mark : "") + CsvHeader(shape_.Separator, shape_.Schema) + end;
  } else if (size > 0 && tail != "\n") {
    // What a power cut left (half a line, NUL bytes) stays on a line of its own.
    text = end;
  }
  text += line + end;
  bool done = file_->Append(text);
  // A disk that filled up took part of it: the file is cut back, so every line stays whole.
  if (done) done = file_->Sync();
  if (!done) {
    error_ = file_->Error();
    file_->Truncate(size);
  }
  headerCut_ = false;
  return done;
}

bool RecordFile::Append(const ReadingRecord& record) {
  if (!Lock()) return false;
  const bool done = AppendLocked(record);
  Unlock();
  return done;
}

bool AppendMarked(ReadingRecord& record, const std::vector<RecordFile*>& files, RepeatMemory& memory,
                  const PortName& canonical) {
  std::vector<RecordFile*> locked;
  size_t open = 0;
  // Two processes that write the same two files take their locks in the same order, by the files'
  // identities: neither waits for the other's. A file found rotated is another file once locked: the
  // locks are let go and taken again in the new order.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<std::pair<FileIdentity, RecordFile*>> order;
    for (RecordFile* file : files) {
      FileIdentity identity;
      if (file != nullptr && file->IsOpen())
        order.emplace_back(file->Identity(identity) ? identity : FileIdentity(), file);
    }
    for (size_t i = 1; i < order.size(); ++i)
      for (size_t k = i; k > 0 && order[k].first < order[k - 1].first; --k) std::swap(order[k], order[k - 1]);
    open = order.size();
    bool moved = false;
    for (const auto& entry : order) {
      if (!entry.second->Lock()) continue;
      locked.push_back(entry.second);
      FileIdentity now;
      moved = attempt < 2 && order.size() > 1 && entry.second->Identity(now) && !(now == entry.first);
      if (moved) break;
    }
    if (!moved) break;
    for (RecordFile* file : locked) file->Unlock();
    locked.clear();
  }
  bool written = locked.size() == open;
  // The files in the caller's order: of two that answer alike, the first decides.
  std::vector<RecordIndex*> known;
  for (RecordFile* file : files)
    if (std::find(locked.begin(), locked.end(), file) != locked.end() && file->Records() != nullptr)
      known.push_back(file->Records());
  if (known.empty()) {
    memory.Mark(record);
  } else {
    MarkFromFiles(record, known, canonical);
  }
  for (RecordFile* file : locked)
    if (!file->AppendLocked(record)) written = false;
  for (RecordFile* file : locked) file->Unlock();
  return written;
}
