// The SQL of the line's table, engine-neutral: no ON CONFLICT, no boolean, no timestamp type of either
// engine's own; and the checks of what ship is given (the connection string, the table's name).
#pragma once

#include <cstddef>
#include <string>

#include "cli/Odbc.h"
#include "record/RecordCodec.h"

// A name quoted for SQL; "schema.table" each part on its own.
std::string Quoted(const std::string& name);
// The characters a text column holds (the id's 36, a message's 2000, 255 for the others).
size_t TextSize(const std::string& field);
// The columns' SQL for the fields: "id" VARCHAR(36) NOT NULL PRIMARY KEY, "serial" BIGINT, ...
std::string TableDefinition(const std::string& table);
// The insert of rows records (each a row of parameters, one per field) where their id is absent.
std::string InsertStatement(const std::string& table, size_t rows);
// Whether a column of this ODBC type holds the field's values.
bool ColumnFits(const RecordField& field, odbc::SmallInt type);
// ASCII letters made small: column names and connection-string keys compare so.
std::string AsciiLower(std::string text);
// Whether a connection string names a password itself (PWD=, PASSWORD=): it belongs in
// BRAVELLE_DB_PASSWORD or the DSN, never on a command line.
bool NamesPassword(const std::string& connection);
// A table name as ship takes it: letters, digits and _, optionally after a schema and a point.
bool ValidTableName(const std::string& name);
