// Statement: one prepared SQL statement with bound parameters, and reading of
// its result rows column by column.
//
//   qel::odbc::Statement st(db);
//   st.Prepare("UPDATE PAT200 SET PATNAME = ? WHERE PATKEY = ?");
//   st.SetText(1, name);
//   st.SetInt32(2, key);
//   SQLLEN rows = st.Execute();           // 0 when no row matched
//
//   st.Prepare("SELECT PATNAME, PATIMAGE FROM PAT200 WHERE PATKEY = ?");
//   st.SetInt32(1, key);
//   st.Execute();
//   while (st.Fetch()) { auto name = st.GetText(1); auto data = st.GetBinary(2); }
//
// Values always travel as parameters, never inside the SQL text. Parameters
// are numbered from 1 and keep their values across executions until set again
// or cleared. Columns are read with SQLGetData (nothing is bound), in
// ascending order within a row; long values arrive in pieces and are joined.
// A getter answers nullopt for SQL NULL. Text is passed as it is (UTF-8).
//
// A prepare that fails because another connection holds a lock is prepared
// again (the failed statement cannot be executed) until the lock wait ends.
// Every failure throws CDBException.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <qel/outside/odbc/DriverQuirks.h>
#include <qel/outside/odbc/Handles.h>
#include <qel/outside/odbc/Odbc.h>
#include <qel/platform/Export.h>

class CDatabase;

namespace qel::odbc {

class QEL_API Statement {
public:
    // Throws CDBException (08003) when the database is not open.
    explicit Statement(CDatabase& database);
    // On a raw connected handle; the engine is asked from the driver.
    explicit Statement(SQLHDBC hdbc);

    // How long Prepare keeps trying while the database is locked (default 5 s).
    void SetLockWait(std::chrono::milliseconds wait) noexcept { m_lockWait = wait; }

    // Prepares `sql`, closing the result of an earlier execution; parameter
    // values set before stay.
    void Prepare(const std::string& sql);

    void SetNull(SQLUSMALLINT number, SQLSMALLINT sqlType = SQL_VARCHAR);
    void SetInt16(SQLUSMALLINT number, std::int16_t value);
    void SetInt32(SQLUSMALLINT number, std::int32_t value);
    void SetText(SQLUSMALLINT number, std::string value);
    void SetBinary(SQLUSMALLINT number, std::vector<std::uint8_t> value);
    void SetTimestamp(SQLUSMALLINT number, const SQL_TIMESTAMP_STRUCT& value);
    // An automation date (days since 30 December 1899).
    void SetDate(SQLUSMALLINT number, double automationDate);
    void ClearParameters() noexcept { m_parameters.clear(); }

    // Executes the prepared statement with every parameter 1..n set. Answers
    // the rows an INSERT/UPDATE/DELETE affected (0 when none matched), or what
    // the driver reports for other statements (-1 when it does not know).
    SQLLEN Execute();
    // Moves to the next result row; false after the last one.
    bool Fetch();
    SQLSMALLINT ColumnCount();
    // Closes the open result, if any; the statement stays prepared.
    void CloseCursor() noexcept;

    std::optional<std::int16_t> GetInt16(SQLUSMALLINT column);
    std::optional<std::int32_t> GetInt32(SQLUSMALLINT column);
    std::optional<std::string> GetText(SQLUSMALLINT column);
    std::optional<std::vector<std::uint8_t>> GetBinary(SQLUSMALLINT column);
    std::optional<SQL_TIMESTAMP_STRUCT> GetTimestamp(SQLUSMALLINT column);

    SQLHSTMT Handle() const noexcept { return m_statement.Get(); }
    qel::odbc::Engine Engine() const noexcept { return m_engine; }

private:
    struct Null {
        SQLSMALLINT sqlType;
    };
    using Value = std::variant<std::monostate, Null, std::int16_t, std::int32_t, std::string,
                               std::vector<std::uint8_t>, SQL_TIMESTAMP_STRUCT>;
    struct Parameter {
        Value value;
        SQLLEN indicator = 0;
    };

    Parameter& Slot(SQLUSMALLINT number);
    void BindParameters();
    template <typename T>
    std::optional<T> GetFixed(SQLUSMALLINT column, SQLSMALLINT cType, const char* origin);
    // Reads a character or binary column piece by piece.
    template <typename Buffer>
    std::optional<Buffer> GetLong(SQLUSMALLINT column, SQLSMALLINT cType, const char* origin);

    StatementHandle m_statement;
    SQLHDBC m_hdbc;  // the connection's, for the call deadline
    qel::odbc::Engine m_engine;
    std::vector<Parameter> m_parameters;
    std::chrono::milliseconds m_lockWait{5000};
    bool m_prepared = false;
};

}  // namespace qel::odbc
