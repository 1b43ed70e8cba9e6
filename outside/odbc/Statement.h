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
// or cleared. A getter answers nullopt for SQL NULL. Text is passed as it is
// (UTF-8).
//
// Columns are read with SQLGetData, in ascending order within a row; long
// values arrive in pieces and are joined. A caller that reads many rows
// declares the result's columns first, and the statement then reads them
// into bound buffers, a block of rows per driver call:
//
//   st.BindResult({{ResultKind::Int32}, {ResultKind::Text, 64}});
//   st.ExecuteDirect("SELECT PATKEY, PATNAME FROM PAT200");
//   while (st.Fetch()) { auto key = st.GetInt32(1); st.ReadText(2, name); }
//
// (ExecuteDirect runs a statement once without preparing it; BindResult
// after Prepare declares the columns of a prepared one.)
//
// Columns from the first ResultKind::Long on are read with SQLGetData, and
// the block is then one row. A text longer than its declared length (SQLite
// does not enforce one) is read again in full with SQLGetData where the
// driver allows that on a bound column; the SQLite driver does not, and the
// getter then throws CDBException 01004 (the caller reads that row again
// without declared columns).
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

// How a declared result column is read.
enum class ResultKind {
    Int16,      // SQL_C_SSHORT
    Int32,      // SQL_C_SLONG
    Text,       // SQL_C_CHAR, up to `characters` characters of UTF-8
    Timestamp,  // SQL_C_TYPE_TIMESTAMP
    Long,       // not bound: SQLGetData (long text, binary)
};

struct ResultColumn {
    ResultKind kind = ResultKind::Long;
    std::size_t characters = 0;  // Text: the column's length
};

class QEL_API Statement {
public:
    // Throws CDBException (08003) when the database is not open.
    explicit Statement(CDatabase& database);
    // On a raw connected handle; the engine is asked from the driver.
    explicit Statement(SQLHDBC hdbc);
    // The driver holds the addresses of the bound buffers.
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

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

    // Declares the columns of the result of the next execution (see the top
    // of the file); kept until the next Prepare or BindResult.
    void BindResult(std::vector<ResultColumn> columns);

    // Executes the prepared statement with every parameter 1..n set. Answers
    // the rows an INSERT/UPDATE/DELETE affected (0 when none matched), or what
    // the driver reports for other statements (-1 when it does not know).
    SQLLEN Execute();
    // Executes `sql` once, without preparing it, with the parameters and the
    // declared columns (BindResult) set before; answers as Execute does. Is
    // repeated while another connection's lock refuses it, as Prepare is.
    // The statement is not prepared afterwards. psqlODBC reads a large
    // result about a third faster this way than through a prepared
    // statement, and saves the round trips of preparing and deallocating it.
    SQLLEN ExecuteDirect(const std::string& sql);
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
    // Reads a text column into `text`, reusing its storage; false (and `text`
    // left as it was) for SQL NULL.
    bool ReadText(SQLUSMALLINT column, std::string& text);

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

    // The buffers of one bound column, a block of rows long.
    struct BoundColumn {
        SQLSMALLINT cType = 0;
        std::size_t width = 0;  // bytes per row
        std::vector<char> data;
        std::vector<SQLLEN> indicators;
    };

    Parameter& Slot(SQLUSMALLINT number);
    void BindParameters();
    void BindColumns();
    void UnbindColumns() noexcept;
    template <class Call>
    SQLRETURN CallWhileLocked(const char* origin, Call call);
    // Notes the result of a successful execution and answers its row count.
    SQLLEN Executed();
    const BoundColumn* Bound(SQLUSMALLINT column, SQLSMALLINT cType) const;
    // The current row's indicator and bytes of a bound column.
    SQLLEN Indicator(const BoundColumn& bound) const { return bound.indicators[m_row]; }
    const char* Cell(const BoundColumn& bound) const { return bound.data.data() + m_row * bound.width; }
    // Positions the driver on the current row of the block, for SQLGetData.
    void PositionForGetData();
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
    bool m_resultOpen = false;  // the last execution gave a result set

    std::vector<ResultColumn> m_declared;
    std::vector<BoundColumn> m_bound;  // by column - 1; cType 0: not bound
    bool m_columnsBound = false;       // the buffers are bound to the handle
    SQLULEN m_blockRows = 1;           // rows the driver fills per fetch
    SQLULEN m_fetched = 0;             // rows in the current block
    std::size_t m_row = 0;             // the current row within it
};

}  // namespace qel::odbc
