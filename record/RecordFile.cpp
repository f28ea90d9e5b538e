// The writer of record files: every record whole at the file's end, whoever else writes it.
#include "record/RecordFile.h"

#include <cerrno>
#include <utility>

#include "record/RecordCodec.h"

RecordFile::RecordFile(RecordFiles& files, Format format, char separator) : files_(files), format_(format) {
  shape_.Separator = separator;
}

bool RecordFile::Open(const std::string& path, const SeenRecord& seen) {
  path_ = path;
  int error = 0;
  file_ = files_.Open(path, false, error);
  if (file_ == nullptr) {
    error_ = error != 0 ? error : EIO;
    return false;
  }
  if (!file_->Regular()) return format_ != Csv || WriteLine(CsvHeader(shape_.Separator));
  if (!file_->Lock()) {
    error_ = file_->Error();
    file_.reset();
    return false;
  }
  const bool ours = ReadBack(seen);
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

bool RecordFile::ReadBack(const SeenRecord& seen) {
  const int64_t size = file_->Size();
  std::string bytes;
  if (size > 0 && !file_->ReadAt(0, static_cast<size_t>(size), bytes)) return true;
  size_t start = 0;
  bool first = true;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    // The last line without its end is a record cut short: no record.
    if (end == std::string::npos) break;
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    RecordSeen record;
    if (format_ == JsonLines) {
      if (ParseRecordLine(line, record) && seen) seen(record);
    } else if (first) {
      // The file keeps its own separator, mark and columns; another program's file is left alone.
      if (!ParseCsvHeader(line, shape_)) return ForeignLine(line);
    } else if (ParseCsvRecord(line, shape_, record) && seen) {
      seen(record);
    }
    first = false;
    start = end + 1;
  }
  if (format_ == Csv && first && !bytes.empty() && bytes.find_first_not_of('\0') != std::string::npos) {
    // A header line without its end is somebody else's line too, unless it is ours cut short.
    CsvShape shape;
    if (!ParseCsvHeader(bytes, shape)) return ForeignLine(bytes);
  }
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
  if (fresh == nullptr || !fresh->Lock()) {
    error_ = fresh == nullptr ? (error != 0 ? error : EIO) : fresh->Error();
    return false;
  }
  file_->Unlock();
  file_ = std::move(fresh);
  return true;
}

bool RecordFile::Append(const ReadingRecord& record) {
  if (file_ == nullptr || error_ != 0) return false;
  const std::string end = LineEnd();
  const std::string line =
      format_ == Csv ? RecordCsv(record, shape_.Separator, shape_.Schema) : RecordJson(record);
  if (!file_->Regular()) return WriteLine(line);
  if (!file_->Lock()) {
    error_ = file_->Error();
    return false;
  }
  // Renamed by a rotation or deleted: the records go on under the name the user gave.
  if (!file_->StillNamed() && !Reopen()) return false;
  const int64_t size = file_->Size();
  if (size < 0) {
    error_ = file_->Error();
    file_->Unlock();
    return false;
  }
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
  file_->Unlock();
  return done;
}
