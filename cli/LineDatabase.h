// The line's database as `ship` reaches it through ODBC: the connection, the table of records (made
// when missing, its shape checked), and batches of records each in one transaction, a record whose id
// is already there skipped. SQL that PostgreSQL and SQL Server both take: no ON CONFLICT, no boolean,
// no timestamp type of either's own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/LineSql.h"
#include "cli/Odbc.h"
#include "record/RecordCodec.h"

class LineDatabase {
 public:
  enum Result {
    Done,
    Unreachable,  // not reached, or lost: the records wait in the journals
    Refused,      // the credentials, or a right on the table, refused
    OtherShape,   // the table has columns other than the records' fields
    NoDriver,     // the driver or the DSN is not installed
  };
  // connection: an ODBC connection string or "DSN=NAME"; password (BRAVELLE_DB_PASSWORD) added to it
  // when not empty, and kept out of every message.
  LineDatabase(const odbc::Calls& calls, std::string connection, std::string password, std::string table);
  ~LineDatabase();
  LineDatabase(const LineDatabase&) = delete;
  LineDatabase& operator=(const LineDatabase&) = delete;

  bool Connected() const { return dbc_ != nullptr; }
  Result Connect();
  // The table made when missing (one column per field, named as the field, id its primary key), then
  // its columns compared with the fields.
  Result PrepareTable();
  // The batch in one transaction; inserted counts the records that were not there yet.
  Result Insert(const std::vector<std::vector<RecordField>>& batch, size_t& inserted);
  void Disconnect();
  // The driver's words for the last failure, without the password.
  const std::string& Reason() const { return reason_; }

 private:
  Result Fail(odbc::SmallInt type, odbc::Handle handle, bool connecting);
  bool Run(const std::string& sql, odbc::Handle& stmt);
  Result MakeTable();
  // Empty when the result's columns are the fields, in any order; otherwise what differs.
  std::string ShapeDiffers(odbc::Handle stmt);
  odbc::Handle Statement(size_t rows);
  void Rollback();
  void FreeStatements();

  const odbc::Calls& sql_;
  std::string connection_;
  std::string password_;
  std::string table_;
  odbc::Handle env_ = nullptr;
  odbc::Handle dbc_ = nullptr;
  std::vector<std::pair<size_t, odbc::Handle>> inserts_;  // each with the number of rows it inserts
  std::string state_;
  std::string reason_;
  Result failure_ = Unreachable;  // of the last statement that could not be prepared
};
