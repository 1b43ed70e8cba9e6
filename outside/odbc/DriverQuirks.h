// What differs between the ODBC drivers the component runs on (the SQLite3
// ODBC driver for file databases, psqlODBC for PostgreSQL), kept in one place
// so the rest of the component can issue the same calls on both:
//
// - the engine behind a connection, from SQLGetInfo(SQL_DBMS_NAME);
// - type names from SQLGetTypeInfo, where a driver without a fixed-length
//   binary type answers SQL_BINARY with its variable-length one;
// - DROP INDEX in the form the engine accepts, and the engine's "no such
//   index" answer seen as SQLSTATE "S0012";
// - lock errors that make a statement worth preparing again;
// - connection attributes the driver needs (psqlODBC: bytea as long binary).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <qel/outside/odbc/Diagnostics.h>
#include <qel/outside/odbc/Odbc.h>
#include <qel/platform/Export.h>

namespace qel::odbc {

// The numbers are those of the profile's engine value: 1 the client/server
// engine, 2 the file engine.
enum class Engine { Unknown = 0, PostgreSQL = 1, SQLite = 2 };

QEL_API Engine EngineFromDbmsName(std::string_view dbmsName);
// The engine of a connected handle; Unknown when the driver does not say.
QEL_API Engine DetectEngine(SQLHDBC hdbc) noexcept;

// A driver's type for an ODBC SQL type: TYPE_NAME and CREATE_PARAMS of the
// first row SQLGetTypeInfo answers.
struct TypeInfo {
    std::string name;
    // What a column definition gives in parentheses ("length", "max. length");
    // empty when the type takes nothing (PostgreSQL's bytea refuses "(16)").
    std::string createParams;
};

// A driver that answers no row for SQL_BINARY is asked for SQL_VARBINARY
// instead. Empty when the driver has no such type or the query fails. Never
// throws.
QEL_API std::optional<TypeInfo> LookUpType(SQLHDBC hdbc, SQLSMALLINT sqlType) noexcept;
QEL_API std::optional<std::string> LookUpTypeName(SQLHDBC hdbc, SQLSMALLINT sqlType) noexcept;
// The type of a column definition: the name, followed by "(length)" when the
// type takes parameters.
QEL_API std::string ColumnType(const TypeInfo& type, int length);

// The DROP INDEX statement for the engine. SQLite and PostgreSQL name the
// index alone (their index names are unique per schema); other engines get
// the "table.index" form.
QEL_API std::string AdaptDropIndex(Engine engine, const std::string& table, const std::string& index);

// The SQLSTATE to act on for a diagnostic record: "S0012" (index not found)
// for the engine's answer to DROP INDEX of a missing index (SQLite: native
// error 1 and "no such index"; PostgreSQL: 42704), `state` otherwise.
QEL_API std::string NormalizeSqlState(Engine engine, const std::string& state, SQLINTEGER nativeError,
                                      const std::string& message);

// Whether the record says the database was locked by another connection, so
// the statement can be prepared again later (SQLite: SQLITE_BUSY/LOCKED;
// PostgreSQL: 55P03).
QEL_API bool IsLockError(Engine engine, const DiagRecord& record);

// The connect string with the attributes the named driver needs added (the
// driver is found from DRIVER=, or from DSN= through the driver manager's data
// source list). psqlODBC gets ByteaAsLongVarBinary=1 so long binary columns
// are bytea; other drivers' strings are returned as they are.
QEL_API std::string AdaptConnectString(const std::string& connect);

}  // namespace qel::odbc
