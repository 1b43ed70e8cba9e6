// The SQL text of the schema statements, assembled by plain concatenation
// from the catalogue's descriptors and the driver's type names. Kept apart
// from running the statements so the text can be checked on its own.
#pragma once

#include <array>
#include <span>
#include <string>

#include <qel/outside/records/TableCatalogue.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

// The DBMS type name of each type code, in type-code order.
using TypeNames = std::array<std::string, kColumnTypeCount>;

// CREATE TABLE with column clauses and table-level unique clauses. With
// engine 2 (the file engine) constraints carry names: P<table><position>,
// F<table><position>, U<table><group>; any other engine gets unnamed forms.
QEL_API std::string CreateTableText(LONG engine, const std::string& table,
                                    std::span<const ColumnDescriptor> columns, const TypeNames& types);
QEL_API std::string CreateIndexText(const std::string& table, const std::string& index, const std::string& column);
// "DROP INDEX table.index" (engines that do not accept this form get theirs
// from the ODBC layer).
QEL_API std::string DropIndexText(const std::string& table, const std::string& index);
QEL_API std::string AddColumnText(const std::string& table, const ColumnDescriptor& column, const TypeNames& types);
