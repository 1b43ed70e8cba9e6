// The table catalogue: the fixed schema of a clinic database, compiled in.
// Twelve tables, each an ordered array of column descriptors; the single
// source of every table and column name. DDL generation turns the
// descriptors into CREATE TABLE statements, and the record sets bind the same
// columns in the same order.
#pragma once

#include <span>
#include <string_view>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

// Column kinds.
enum EColumnKind : LONG { eKindNone = 0, eKindPrimaryKey = 1, eKindForeignKey = 2, eKindIndexed = 3 };

// Type codes and the ODBC SQL type whose DBMS type name is used for each.
enum EColumnType : LONG {
    eTypeSmallInt = 0,        // SQL_SMALLINT
    eTypeInteger = 1,         // SQL_INTEGER
    eTypeChar = 2,            // SQL_CHAR, with a length
    eTypeLongVarChar = 3,     // SQL_LONGVARCHAR
    eTypeBinary = 4,          // SQL_BINARY, with a length
    eTypeLongVarBinary = 5,   // SQL_LONGVARBINARY
    eTypeTimestamp = 6,       // SQL_TIMESTAMP
};
constexpr int kColumnTypeCount = 7;
// The ODBC SQL type of a type code (SQL_SMALLINT = 5, SQL_INTEGER = 4, ...).
QEL_API SHORT SqlTypeOfColumnType(LONG typeCode);

struct ColumnDescriptor {
    LONG kind;                 // EColumnKind
    LONG type;                 // EColumnType
    const char* name;
    LONG length;               // eTypeChar and eTypeBinary only; 0 otherwise
    LONG uniqueGroup;          // 0 = none; 1..10 = table-level unique constraint n
    const char* extra;         // kind 2: referenced table; kind 3: index name;
                               // kind 0: non-empty means NOT NULL; kind 1: empty
    const char* refColumn;     // kind 2: referenced column; empty otherwise
};

struct TableDescriptor {
    const char* name;
    LONG number;               // TBLNUMBER of the table's row in TBL200
    LONG version;              // TBLVERSION at creation
    std::span<const ColumnDescriptor> columns;

    LONG ColumnCount() const { return static_cast<LONG>(columns.size()); }
    // 0-based position of a column, -1 when the table has no such column.
    int ColumnIndex(std::string_view column) const;
};

constexpr int kMaxUniqueGroups = 10;

// Table numbers.
enum ETableNumber : LONG {
    eTableTBL = 0, eTableDOC = 1, eTableIMT = 2, eTableMED = 3, eTablePAT = 4, eTableIMG = 5,
    eTableBMP = 6, eTableSTA = 7, eTableLAY = 8, eTableUSR = 21, eTableLCK = 22, eTableMSG = 23,
};

// All twelve tables in catalogue order.
QEL_API std::span<const TableDescriptor> TableCatalogue();
// A table by name or number; null when there is none.
QEL_API const TableDescriptor* FindTable(std::string_view name);
QEL_API const TableDescriptor* FindTable(LONG number);
// The NOT NULL rule: primary and foreign keys, members of a unique group,
// and kind-0 columns with the not-null mark.
QEL_API bool IsColumnNotNull(const ColumnDescriptor& column);
