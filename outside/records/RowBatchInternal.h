// The SQL of a batch of new rows for one table, written with one statement.
//
//   std::string sql = JsonInsertSql(table);          // SQLite: one parameter
//   st.SetText(1, JsonRows(rows));
//
//   std::string sql = MultiRowInsertSql(table, 200);  // any engine: 200 rows
//                                                     // of parameters
//
// The SQLite driver compiles a statement again at every execution, so a
// statement with a parameter per value costs it a parse as long as the
// batch; a JSON document of the rows in one parameter is parsed once, by
// SQLite's own JSON reader. Each row becomes an array of its values in column
// order: numbers for integers, strings for text and timestamps (in the text
// form the driver stores for a timestamp parameter), null for NULL.
#pragma once

#include <span>
#include <string>
#include <variant>
#include <vector>

#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>

namespace qel::records {

using FieldValue = std::variant<std::monostate, SHORT, LONG, std::string, CLongBinary, TIMESTAMP_STRUCT>;
using FieldRow = std::vector<FieldValue>;

// "INSERT INTO <table> (<columns>) VALUES (?, ...)" with `rows` groups of marks.
std::string MultiRowInsertSql(const TableDescriptor& table, size_t rows);

// Whether the table's rows can travel as JSON (binary values cannot).
bool CanInsertAsJson(const TableDescriptor& table);
// "INSERT INTO <table> (<columns>) SELECT json_extract(value, '$[0]'), ...
// FROM json_each(?)"
std::string JsonInsertSql(const TableDescriptor& table);
// The rows as one JSON array of arrays.
std::string JsonRows(std::span<const FieldRow> rows);

}  // namespace qel::records
