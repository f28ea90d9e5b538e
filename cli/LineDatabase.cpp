// The records' table through ODBC's wide calls.
#include "cli/LineDatabase.h"

#include <algorithm>

#include "record/RecordLine.h"

namespace {

// Rows per INSERT: 50 records of 20 fields stay under SQL Server's 2100 parameters of a statement.
constexpr size_t kRowsPerStatement = 50;

bool Contains(const std::string& text, const char* part) {
  return AsciiLower(text).find(part) != std::string::npos;
}

}  // namespace

LineDatabase::LineDatabase(const odbc::Calls& calls, std::string connection, std::string password,
                           std::string table)
    : sql_(calls),
      connection_(std::move(connection)),
      password_(std::move(password)),
      table_(std::move(table)) {}

LineDatabase::~LineDatabase() {
  Disconnect();
  if (env_ != nullptr) sql_.FreeHandle(odbc::kHandleEnv, env_);
}

LineDatabase::Result LineDatabase::Fail(odbc::SmallInt type, odbc::Handle handle, bool connecting) {
  odbc::WChar state[6] = {};
  odbc::WChar message[1024] = {};
  odbc::Integer native = 0;
  odbc::SmallInt length = 0;
  state_.clear();
  reason_.clear();
  if (handle != nullptr &&
      odbc::Ok(sql_.GetDiagRecW(type, handle, 1, state, &native, message, 1023, &length))) {
    state_ = odbc::Utf8(state, 5);
    reason_ = odbc::Utf8(message, static_cast<size_t>(length < 1023 ? length : 1023));
  }
  // One line: a driver's message may run over several, with tabs.
  std::string flat;
  for (char c : reason_) {
    const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (!blank)
      flat += c;
    else if (!flat.empty() && flat.back() != ' ')
      flat += ' ';
  }
  while (!flat.empty() && flat.back() == ' ') flat.pop_back();
  reason_ = flat;
  // The password never leaves the program, even where a driver would repeat it.
  if (password_.size() >= 3) {
    for (size_t at = reason_.find(password_); at != std::string::npos; at = reason_.find(password_, at))
      reason_.replace(at, password_.size(), "***");
  }
  if (reason_.empty()) reason_ = "ODBC " + (state_.empty() ? std::string("error") : state_);
  const std::string cls = state_.substr(0, 2);
  if (state_ == "IM002" || state_ == "IM003" || Contains(reason_, "can't open lib") ||
      Contains(reason_, "data source name not found"))
    return NoDriver;
  // 28: the credentials; 42501: no right on the table. A server reached over libpq says the first only
  // in words (its SQLSTATE stays 08001): the words of its English and French messages.
  if (cls == "28" || state_ == "42501" ||
      (connecting && (Contains(reason_, "authentication") || Contains(reason_, "authentification") ||
                      Contains(reason_, "password") || Contains(reason_, "mot de passe"))))
    return Refused;
  return Unreachable;
}

LineDatabase::Result LineDatabase::Connect() {
  if (env_ == nullptr) {
    if (!odbc::Ok(sql_.AllocHandle(odbc::kHandleEnv, nullptr, &env_))) {
      env_ = nullptr;
      reason_ = "SQLAllocHandle";
      return NoDriver;
    }
    sql_.SetEnvAttr(env_, odbc::kAttrOdbcVersion,
                    reinterpret_cast<void*>(static_cast<intptr_t>(odbc::kOdbc3)), 0);
  }
  if (!odbc::Ok(sql_.AllocHandle(odbc::kHandleDbc, env_, &dbc_))) {
    dbc_ = nullptr;
    return Fail(odbc::kHandleEnv, env_, true);
  }
  // A server that does not answer is given up on after 10 s, and tried again later.
  sql_.SetConnectAttrW(dbc_, odbc::kAttrLoginTimeout, reinterpret_cast<void*>(static_cast<intptr_t>(10)), 0);
  std::string text = connection_;
  if (!password_.empty()) {
    std::string braced;
    for (char c : password_) braced += c == '}' ? std::string("}}") : std::string(1, c);
    // PWD: the key unixODBC's trace hides.
    text += (text.empty() || text.back() == ';' ? "" : ";") + std::string("PWD={") + braced + "}";
  }
  odbc::Wide wide = odbc::Utf16(text);
  odbc::WChar out[1024];
  odbc::SmallInt outLength = 0;
  const odbc::Return r =
      sql_.DriverConnectW(dbc_, nullptr, &wide[0], static_cast<odbc::SmallInt>(wide.size() - 1), out, 1024,
                          &outLength, odbc::kDriverNoPrompt);
  // The completed string may hold the password: overwritten at once.
  for (odbc::WChar& c : wide) c = 0;
  for (odbc::WChar& c : out) c = 0;
  if (!odbc::Ok(r)) {
    const Result failure = Fail(odbc::kHandleDbc, dbc_, true);
    sql_.FreeHandle(odbc::kHandleDbc, dbc_);
    dbc_ = nullptr;
    return failure;
  }
  // Each batch is one transaction, committed whole or not at all.
  sql_.SetConnectAttrW(dbc_, odbc::kAttrAutocommit,
                       reinterpret_cast<void*>(static_cast<intptr_t>(odbc::kAutocommitOff)), 0);
  return Done;
}

void LineDatabase::FreeStatements() {
  for (auto& [rows, stmt] : inserts_) sql_.FreeHandle(odbc::kHandleStmt, stmt);
  inserts_.clear();
}

void LineDatabase::Disconnect() {
  FreeStatements();
  if (dbc_ == nullptr) return;
  sql_.EndTran(odbc::kHandleDbc, dbc_, odbc::kRollback);
  sql_.Disconnect(dbc_);
  sql_.FreeHandle(odbc::kHandleDbc, dbc_);
  dbc_ = nullptr;
}

void LineDatabase::Rollback() {
  if (dbc_ != nullptr) sql_.EndTran(odbc::kHandleDbc, dbc_, odbc::kRollback);
}

bool LineDatabase::Run(const std::string& text, odbc::Handle& stmt) {
  stmt = nullptr;
  if (!odbc::Ok(sql_.AllocHandle(odbc::kHandleStmt, dbc_, &stmt))) {
    stmt = nullptr;
    Fail(odbc::kHandleDbc, dbc_, false);
    return false;
  }
  odbc::Wide wide = odbc::Utf16(text);
  const odbc::Return r = sql_.ExecDirectW(stmt, &wide[0], static_cast<odbc::Integer>(wide.size() - 1));
  return odbc::Ok(r) || r == odbc::kNoData;
}

LineDatabase::Result LineDatabase::PrepareTable() {
  odbc::Handle stmt = nullptr;
  if (!Run("SELECT * FROM " + Quoted(table_) + " WHERE 1 = 0", stmt)) {
    const Result failure = Fail(odbc::kHandleStmt, stmt, false);
    if (stmt != nullptr) sql_.FreeHandle(odbc::kHandleStmt, stmt);
    Rollback();
    // 42S02 (ODBC's "base table not found"), 42P01 (PostgreSQL's own): made now.
    if (state_ != "42S02" && state_ != "42P01") return failure;
    const Result made = MakeTable();
    return made == Done ? PrepareTable() : made;
  }
  const std::string differs = ShapeDiffers(stmt);
  sql_.FreeHandle(odbc::kHandleStmt, stmt);
  Rollback();
  if (differs.empty()) return Done;
  reason_ = differs;
  return OtherShape;
}

LineDatabase::Result LineDatabase::MakeTable() {
  odbc::Handle stmt = nullptr;
  const bool made = Run(TableDefinition(table_), stmt);
  const Result why = made ? Done : Fail(odbc::kHandleStmt, stmt, false);
  if (stmt != nullptr) sql_.FreeHandle(odbc::kHandleStmt, stmt);
  if (!made) {
    Rollback();
    return why;
  }
  if (!odbc::Ok(sql_.EndTran(odbc::kHandleDbc, dbc_, odbc::kCommit))) return Fail(odbc::kHandleDbc, dbc_, false);
  return Done;
}

std::string LineDatabase::ShapeDiffers(odbc::Handle stmt) {
  const std::vector<RecordField> fields = RecordFields(ReadingRecord());
  odbc::SmallInt count = 0;
  sql_.NumResultCols(stmt, &count);
  std::vector<std::string> wanted;
  for (const RecordField& f : fields) wanted.push_back(f.Name);
  for (odbc::SmallInt c = 1; c <= count; ++c) {
    odbc::WChar name[128] = {};
    odbc::SmallInt length = 0, type = 0, digits = 0, nullable = 0;
    odbc::ULen size = 0;
    sql_.DescribeColW(stmt, static_cast<odbc::USmallInt>(c), name, 127, &length, &type, &size, &digits,
                      &nullable);
    const std::string column = AsciiLower(odbc::Utf8(name, static_cast<size_t>(length < 127 ? length : 127)));
    const auto field = std::find_if(fields.begin(), fields.end(), [&](const RecordField& f) { return column == f.Name; });
    if (field == fields.end()) return "column \"" + column + "\" is no field of the records";
    wanted.erase(std::find(wanted.begin(), wanted.end(), column));
    if (!ColumnFits(*field, type)) return "column \"" + column + "\" is of another type";
  }
  return wanted.empty() ? std::string() : "no column \"" + wanted.front() + "\"";
}

odbc::Handle LineDatabase::Statement(size_t rows) {
  for (const auto& [count, known] : inserts_)
    if (count == rows) return known;
  const std::string text = InsertStatement(table_, rows);
  odbc::Handle stmt = nullptr;
  if (!odbc::Ok(sql_.AllocHandle(odbc::kHandleStmt, dbc_, &stmt))) {
    failure_ = Fail(odbc::kHandleDbc, dbc_, false);
    return nullptr;
  }
  odbc::Wide wide = odbc::Utf16(text);
  if (!odbc::Ok(sql_.PrepareW(stmt, &wide[0], static_cast<odbc::Integer>(wide.size() - 1)))) {
    failure_ = Fail(odbc::kHandleStmt, stmt, false);
    sql_.FreeHandle(odbc::kHandleStmt, stmt);
    return nullptr;
  }
  inserts_.emplace_back(rows, stmt);
  return stmt;
}

LineDatabase::Result LineDatabase::Insert(const std::vector<std::vector<RecordField>>& batch,
                                          size_t& inserted) {
  inserted = 0;
  // An id twice in one statement would break the key for the whole batch: the first is kept.
  // Sorted trees would add some kilobytes to bravelle-cli.exe for this alone: a sorted vector.
  std::vector<std::pair<std::string, size_t>> ids;
  for (size_t i = 0; i < batch.size(); ++i)
    if (const RecordField* id = FindField(batch[i], "id")) ids.emplace_back(id->Value, i);
  std::sort(ids.begin(), ids.end());
  std::vector<bool> keep(batch.size(), false);
  for (size_t i = 0; i < ids.size(); ++i) keep[ids[i].second] = i == 0 || ids[i].first != ids[i - 1].first;
  std::vector<const std::vector<RecordField>*> records;
  for (size_t i = 0; i < batch.size(); ++i)
    if (keep[i]) records.push_back(&batch[i]);
  std::vector<odbc::Wide> values;
  std::vector<odbc::Len> lengths;
  for (size_t start = 0; start < records.size(); start += kRowsPerStatement) {
    const size_t rows = std::min(kRowsPerStatement, records.size() - start);
    const odbc::Handle stmt = Statement(rows);
    if (stmt == nullptr) {
      Rollback();
      return failure_;
    }
    const size_t columns = records[start]->size();
    values.assign(rows * columns, odbc::Wide());
    lengths.assign(rows * columns, 0);
    for (size_t r = 0; r < rows; ++r) {
      const std::vector<RecordField>& fields = *records[start + r];
      for (size_t c = 0; c < columns; ++c) {
        const RecordField& f = fields[c];
        const size_t at = r * columns + c;
        std::string text = f.Type == RecordField::Flag ? (f.Present ? "1" : "0") : FieldText(f);
        values[at] = odbc::Utf16(text);
        values[at].pop_back();
        if (f.Type != RecordField::Number && f.Type != RecordField::Flag &&
            values[at].size() > TextSize(f.Name))
          values[at].resize(TextSize(f.Name));
        lengths[at] = !f.Present && f.Type != RecordField::Flag
                          ? odbc::kNullData
                          : static_cast<odbc::Len>(values[at].size() * sizeof(odbc::WChar));
        values[at].push_back(0);
        sql_.BindParameter(stmt, static_cast<odbc::USmallInt>(at + 1), odbc::kParamInput, odbc::kCWChar,
                           odbc::kWVarChar, std::max<size_t>(1, values[at].size() - 1), 0, &values[at][0],
                           static_cast<odbc::Len>(values[at].size() * sizeof(odbc::WChar)), &lengths[at]);
      }
    }
    const odbc::Return r = sql_.Execute(stmt);
    if (!odbc::Ok(r) && r != odbc::kNoData) {
      const Result failure = Fail(odbc::kHandleStmt, stmt, false);
      Rollback();
      return failure;
    }
    odbc::Len count = 0;
    if (odbc::Ok(sql_.RowCount(stmt, &count)) && count > 0) inserted += static_cast<size_t>(count);
    sql_.FreeStmt(stmt, odbc::kClose);
  }
  const bool committed = odbc::Ok(sql_.EndTran(odbc::kHandleDbc, dbc_, odbc::kCommit));
  const Result failure = committed ? Done : Fail(odbc::kHandleDbc, dbc_, false);
  if (!committed) Rollback();
  // Prepared again for the next batch: a plan the server made while the table was empty (a scan of it
  // for each id) would make every later batch slower than the last.
  FreeStatements();
  return failure;
}
