// The SQL of a batch of new rows for one table, written with one statement.
//
//   std::string sql = JsonInsertSql(table, engine);  // SQLite, PostgreSQL:
//   st.SetText(1, JsonRows(rows, engine));           // one parameter
//
//   std::string sql = MultiRowInsertSql(table, 200);  // any engine: 200 rows
//                                                     // of parameters
//
// A statement with a parameter per value is slow on both engines: the SQLite
// driver compiles a statement again at every execution, a parse as long as
// the batch, and psqlODBC binds, converts and scans thousands of parameters
// on the client while the server waits (and drops the connection past about
// 8,000 of them). A JSON document of the rows in one parameter is parsed
// once, by the engine's own JSON reader. Each row becomes an array of its
// values in column order: numbers for integers, strings for text and
// timestamps, null for NULL. A timestamp is written in the text form the
// engine stores for a timestamp parameter: milliseconds for the SQLite
// driver, microseconds for PostgreSQL.
#pragma once

#include <span>
#include <string>
#include <variant>
#include <vector>

#include <qel/outside/odbc/DriverQuirks.h>
#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>

namespace qel::records {

using FieldValue = std::variant<std::monostate, SHORT, LONG, std::string, CLongBinary, TIMESTAMP_STRUCT>;
using FieldRow = std::vector<FieldValue>;

// "INSERT INTO <table> (<columns>) VALUES (?, ...)" with `rows` groups of marks.
std::string MultiRowInsertSql(const TableDescriptor& table, size_t rows);

// Whether the table's rows can travel as JSON to `engine` (binary values
// cannot, and only SQLite and PostgreSQL read it).
bool CanInsertAsJson(const TableDescriptor& table, qel::odbc::Engine engine);
// SQLite: "INSERT INTO <table> (<columns>) SELECT json_extract(value,
// '$[0]'), ... FROM json_each(?)"; PostgreSQL: "... SELECT CAST(value->>0 AS
// integer), ... FROM jsonb_array_elements(CAST(? AS jsonb)) AS batch(value)".
std::string JsonInsertSql(const TableDescriptor& table, qel::odbc::Engine engine);
// The rows as one JSON array of arrays, timestamps as `engine` stores them.
std::string JsonRows(std::span<const FieldRow> rows, qel::odbc::Engine engine);

}  // namespace qel::records
