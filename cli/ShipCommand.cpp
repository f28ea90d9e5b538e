// bravelle-cli ship: the records of journals carried into the line's database, store and forward. The
// journal stays the truth: a cursor beside it says how far it is in the database, and is moved only
// once a batch is committed; a batch sent again after a crash adds nothing, as each record's id is
// checked on insert.
#include <memory>

#include "cli/Commands.h"
#include "cli/LineDatabase.h"
#include "record/RecordLine.h"
#include "text/Utf8.h"

namespace {

// A new record is in the database within 2 s of its append: the journals are looked at four times a
// second.
constexpr uint32_t kFollowPollMs = 250;
constexpr uint32_t kLongestPauseMs = 60000;
// Records per transaction, and bytes read from a journal at a time.
constexpr size_t kBatchRecords = 1000;
constexpr size_t kReadBytes = 1 << 20;
constexpr int kExitNoInput = 66;
constexpr int kExitUnavailable = 69;
constexpr int kExitNoPermission = 77;

// How far a journal is in the database: the file (its identity), the offset after the last line
// shipped, and that line's id, which must still end there for the cursor to be believed.
struct Cursor {
  std::string Identity;
  int64_t Offset = 0;
  std::string LastId;
};

std::string CursorText(const Cursor& c) {
  return "bravelle ship cursor 1\nidentity " + c.Identity + "\noffset " + std::to_string(c.Offset) + "\nid " +
         c.LastId + "\n";
}

bool ParseCursor(const std::string& text, Cursor& c) {
  if (text.compare(0, 23, "bravelle ship cursor 1\n") != 0) return false;
  size_t start = 23;
  int found = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(start, end - start);
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (key == "identity") c.Identity = value, ++found;
    if (key == "id") c.LastId = value, ++found;
    if (key == "offset") {
      char* stop = nullptr;
      c.Offset = std::strtoll(value.c_str(), &stop, 10);
      if (value.empty() || *stop != '\0' || c.Offset < 0) return false;
      ++found;
    }
    start = end + 1;
  }
  return found == 3;
}

// A record of schema 1 or 2 has no id: one is made from its bytes and the station that ships it (a
// UUID version 8 on two 64-bit FNV-1a hashes), the same every time it is sent, so it too goes in once.
std::string DerivedId(const std::string& station, const std::string& line) {
  uint64_t a = 0xcbf29ce484222325ull;
  uint64_t b = 0x84222325cbf29ce4ull;
  for (unsigned char c : station + "\n" + line) {
    a = (a ^ c) * 0x100000001b3ull;
    b = (b ^ (c + 0x5bu)) * 0x100000001b3ull;
  }
  uint8_t bytes[16];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(a >> (56 - 8 * i));
  for (int i = 0; i < 8; ++i) bytes[8 + i] = static_cast<uint8_t>(b >> (56 - 8 * i));
  bytes[6] = static_cast<uint8_t>(0x80 | (bytes[6] & 0x0F));
  bytes[8] = static_cast<uint8_t>(0x80 | (bytes[8] & 0x3F));
  std::string out;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += Format("%02x", bytes[i]);
  }
  return out;
}

// One journal: followed by its handle across a rotation, its records sent from the cursor on.
struct Journal {
  std::string Path;
  std::unique_ptr<RecordFileHandle> File;
  std::string Identity;
  int64_t Offset = 0;     // shipped up to here
  bool Reported = false;  // its failure to open is said once
  int RotatedLooks = 0;   // looks at its end since its name went to another file
};

class Shipper {
 public:
  explicit Shipper(CliContext& cx) : cx_(cx) {
    for (const std::string& path : cx.Options.Files) {
      journals_.emplace_back();
      journals_.back().Path = path;
    }
  }

  int Run(const odbc::Calls& calls) {
    LineDatabase db(calls, cx_.Options.To, cx_.Process.Variable("BRAVELLE_DB_PASSWORD"),
                    cx_.Options.Table.empty() ? "bravelle_readings" : cx_.Options.Table);
    uint32_t pauseMs = 1000;
    bool down = false;
    while (!StopRequested()) {
      LineDatabase::Result result = LineDatabase::Done;
      if (!db.Connected()) {
        result = db.Connect();
        if (result == LineDatabase::Done) result = db.PrepareTable();
      }
      bool moved = false;
      bool atEnd = false;
      if (result == LineDatabase::Done) result = Round(db, moved, atEnd);
      if (result == LineDatabase::Done) {
        if (down) cx_.Terminal.Err(Say(TXT_CLI_SHIP_REACHED, cx_.Language));
        down = false;
        pauseMs = 1000;
        if (cx_.Options.Once && atEnd) return Finish();
        if (!moved) cx_.Process.Pause(kFollowPollMs);
        continue;
      }
      db.Disconnect();
      if (const int code = Final(result, db.Reason())) return code;
      if (!down) cx_.Terminal.Err(Say(TXT_CLI_SHIP_UNREACHABLE, cx_.Language, db.Reason().c_str()));
      down = true;
      // Tried again with a growing pause, the records waiting in the journals meanwhile.
      cx_.Process.Pause(pauseMs);
      pauseMs = std::min(pauseMs * 2, kLongestPauseMs);
    }
    return 0;
  }

 private:
  // The exit code of a failure that waiting does not mend, or of any failure with --once; 0 to wait.
  int Final(LineDatabase::Result result, const std::string& reason) {
    switch (result) {
      case LineDatabase::OtherShape:
        cx_.Terminal.Err(Say(TXT_CLI_SHIP_SHAPE, cx_.Language, TableName().c_str(), reason.c_str()));
        return kExitDataError;
      case LineDatabase::Refused:
        cx_.Terminal.Err(Say(TXT_CLI_SHIP_REFUSED, cx_.Language, reason.c_str()));
        return kExitNoPermission;
      case LineDatabase::NoDriver:
        cx_.Terminal.Err(Say(TXT_CLI_SHIP_NO_DRIVER, cx_.Language, reason.c_str()));
        return kExitUnavailable;
      default:
        if (!cx_.Options.Once) return 0;
        cx_.Terminal.Err(Say(TXT_CLI_SHIP_UNREACHABLE_ONCE, cx_.Language, reason.c_str()));
        return kExitUnavailable;
    }
  }

  std::string TableName() const {
    return cx_.Options.Table.empty() ? "bravelle_readings" : cx_.Options.Table;
  }

  int Finish() {
    cx_.Terminal.Out(Say(TXT_CLI_SHIP_DONE, cx_.Language, static_cast<long long>(inserted_),
                         static_cast<long long>(skipped_)));
    if (missing_) return kExitNoInput;
    return ReportWriteFailures(cx_.Terminal, {});
  }

  // One look at every journal: a batch of each that has whole lines past its cursor. moved: something
  // was sent or passed over; atEnd: every journal is shipped to its last whole line.
  LineDatabase::Result Round(LineDatabase& db, bool& moved, bool& atEnd) {
    atEnd = true;
    missing_ = false;
    for (Journal& j : journals_) {
      if (!j.File && !Open(j)) continue;
      bool more = false;
      const LineDatabase::Result result = Batch(db, j, moved, more);
      if (result != LineDatabase::Done) return result;
      if (more) {
        atEnd = false;
      } else if (!j.File->StillNamed()) {
        // Rotated: finished to its end before its successor, once no writer's append can still land
        // in it (a writer looks at the name before each append).
        if (++j.RotatedLooks >= 2) {
          j.File.reset();
          j.RotatedLooks = 0;
          atEnd = false;
        }
      }
    }
    return LineDatabase::Done;
  }

  bool Open(Journal& j) {
    int error = 0;
    j.File = cx_.Files.OpenToRead(j.Path, error);
    if (!j.File) {
      // Not there yet (watch has not started) or unreadable: said once, looked for again.
      if (!j.Reported)
        cx_.Terminal.Err(Say(TXT_CLI_SHIP_NO_JOURNAL, cx_.Language, ValidUtf8(j.Path).c_str(),
                             cx_.Files.ErrorText(error).c_str()));
      j.Reported = true;
      missing_ = true;
      return false;
    }
    j.Reported = false;
    j.Identity = JournalIdentity(*j.File);
    j.Offset = 0;
    std::string text;
    Cursor cursor;
    if (ReadWhole(cx_.Files, CursorPath(j), text) && ParseCursor(text, cursor) && Believed(j, cursor))
      j.Offset = cursor.Offset;
    return true;
  }

  // A cursor is for one file, and its offset must end the line of its id; otherwise the journal is sent
  // from its start, which adds nothing that is there already.
  bool Believed(Journal& j, const Cursor& cursor) {
    if (cursor.Identity != j.Identity || cursor.Offset > j.File->Size()) return false;
    if (cursor.Offset == 0) return true;
    const int64_t from = std::max<int64_t>(0, cursor.Offset - 4096);
    std::string tail;
    if (!j.File->ReadAt(from, static_cast<size_t>(cursor.Offset - from), tail) || tail.empty() ||
        tail.back() != '\n')
      return false;
    const size_t start = tail.find_last_of('\n', tail.size() - 2);
    const std::string line = tail.substr(start == std::string::npos ? 0 : start + 1);
    return cursor.LastId.empty() || line.find("\"id\":\"" + cursor.LastId + "\"") != std::string::npos ||
           DerivedId(cx_.Origin.Station(), line.substr(0, line.size() - 1)) == cursor.LastId;
  }

  static std::string CursorPath(const Journal& j) { return j.Path + ".ship-cursor"; }

  // The whole lines after the cursor, up to a batch of records, sent in one transaction; the cursor
  // moves after the commit.
  LineDatabase::Result Batch(LineDatabase& db, Journal& j, bool& moved, bool& more) {
    more = false;
    const int64_t size = j.File->Size();
    if (size <= j.Offset) return LineDatabase::Done;
    std::string bytes;
    const size_t want = static_cast<size_t>(std::min<int64_t>(size - j.Offset, kReadBytes));
    if (!j.File->ReadAt(j.Offset, want, bytes)) return LineDatabase::Done;
    std::vector<std::vector<RecordField>> batch;
    std::string lastId;
    size_t start = 0;
    size_t used = 0;
    while (batch.size() < kBatchRecords) {
      const size_t end = bytes.find('\n', start);
      // A line without its end is being written, or is a power cut's tail that the next record
      // will close: looked at again once whole.
      if (end == std::string::npos) break;
      std::string line = bytes.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::vector<RecordField> fields;
      if (ParseRecordFields(line, fields)) {
        Complete(fields, line);
        lastId = FindField(fields, "id")->Value;
        batch.push_back(std::move(fields));
      } else if (line.find_first_not_of(std::string(" \t\0", 3)) != std::string::npos) {
        cx_.Terminal.Err(Say(TXT_CLI_SHIP_BROKEN_LINE, cx_.Language, ValidUtf8(j.Path).c_str(),
                             static_cast<long long>(j.Offset + static_cast<int64_t>(start))));
      }
      start = end + 1;
      used = start;
    }
    if (used == 0) return LineDatabase::Done;
    size_t inserted = 0;
    if (!batch.empty()) {
      const LineDatabase::Result result = db.Insert(batch, inserted);
      if (result != LineDatabase::Done) return result;
    }
    inserted_ += inserted;
    skipped_ += batch.size() - inserted;
    j.Offset += static_cast<int64_t>(used);
    moved = true;
    more = j.Offset < size;
    int error = 0;
    const Cursor cursor{j.Identity, j.Offset, lastId};
    if (!ReplaceWhole(cx_.Files, CursorPath(j), CursorText(cursor), error) && !cursorReported_) {
      cx_.Terminal.Err(Say(TXT_CLI_SHIP_CURSOR, cx_.Language, ValidUtf8(CursorPath(j)).c_str(),
                           cx_.Files.ErrorText(error).c_str()));
      cursorReported_ = true;
    }
    return LineDatabase::Done;
  }

  // What a record of an older schema lacks: an id made from its bytes, and the station that ships it.
  void Complete(std::vector<RecordField>& fields, const std::string& line) {
    for (RecordField& f : fields) {
      if (f.Present) continue;
      if (std::string(f.Name) == "id") f.Value = DerivedId(cx_.Origin.Station(), line);
      if (std::string(f.Name) == "station") f.Value = cx_.Origin.Station();
      f.Present = f.Value.size() > 0 && (std::string(f.Name) == "id" || std::string(f.Name) == "station");
    }
  }

  CliContext& cx_;
  std::vector<Journal> journals_;
  size_t inserted_ = 0;
  size_t skipped_ = 0;
  bool missing_ = false;
  bool cursorReported_ = false;
};

}  // namespace

int RunShip(CliContext& cx) {
  std::string why;
  const odbc::Calls* calls = cx.Shipping.Odbc(why);
  if (calls == nullptr) {
    cx.Terminal.Err(Say(TXT_CLI_SHIP_NO_DRIVER, cx.Language, why.c_str()));
    return kExitUnavailable;
  }
  Shipper shipper(cx);
  return shipper.Run(*calls);
}
