#include <qel/outside/odbc/Statement.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <type_traits>

#include <fmt/format.h>

#include <qel/outside/odbc/CallWatchdogInternal.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Timestamp.h>

namespace qel::odbc {

namespace {

SQLHDBC OpenHandle(CDatabase& database) {
    if (!database.IsOpen()) throw CDBException("08003", "the connection is not open", "Statement");
    return database.m_hdbc;
}

// Text up to this many bytes is sent as VARCHAR, longer text as LONGVARCHAR.
constexpr std::size_t kLongTextBytes = 8000;
// Size of the pieces long values are read in.
constexpr std::size_t kPieceBytes = 64 * 1024;
// A block of bound rows takes about this much memory, and at most this many rows.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr SQLULEN kMaxBlockRows = 512;
// UTF-8 takes at most this many bytes per character.
constexpr std::size_t kBytesPerCharacter = 4;

SQLSMALLINT CTypeOf(ResultKind kind) {
    switch (kind) {
        case ResultKind::Int16: return SQL_C_SSHORT;
        case ResultKind::Int32: return SQL_C_SLONG;
        case ResultKind::Text: return SQL_C_CHAR;
        case ResultKind::Timestamp: return SQL_C_TYPE_TIMESTAMP;
        case ResultKind::Long: break;
    }
    return 0;
}

std::size_t WidthOf(const ResultColumn& column) {
    switch (column.kind) {
        case ResultKind::Int16: return sizeof(std::int16_t);
        case ResultKind::Int32: return sizeof(std::int32_t);
        case ResultKind::Text: return std::max<std::size_t>(1, column.characters) * kBytesPerCharacter + 1;
        case ResultKind::Timestamp: return sizeof(SQL_TIMESTAMP_STRUCT);
        case ResultKind::Long: break;
    }
    return 0;
}

SQLSMALLINT CTypeForNull(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_SMALLINT: return SQL_C_SSHORT;
        case SQL_INTEGER: return SQL_C_SLONG;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY: return SQL_C_BINARY;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
        default: return SQL_C_CHAR;
    }
}

}  // namespace

Statement::Statement(CDatabase& database)
    : m_statement(OpenHandle(database)), m_hdbc(database.m_hdbc), m_engine(database.Engine()) {}

Statement::Statement(SQLHDBC hdbc) : m_statement(hdbc), m_hdbc(hdbc), m_engine(DetectEngine(hdbc)) {}

// Makes one driver call (SQLPrepare, SQLExecDirect) under the call watchdog,
// and again while it fails because another connection holds a lock: a call
// refused for a lock has done nothing. Gives up when the lock wait ends.
template <class Call>
SQLRETURN Statement::CallWhileLocked(const char* origin, Call call) {
    const auto deadline = std::chrono::steady_clock::now() + m_lockWait;
    auto pause = std::chrono::milliseconds(20);
    for (;;) {
        SQLRETURN rc;
        {
            CallDeadline callDeadline(m_hdbc);
            rc = call();
        }
        if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return rc;
        std::vector<DiagRecord> records = ReadDiagnostics(SQL_HANDLE_STMT, Handle());
        const bool locked = !records.empty() && IsLockError(m_engine, records.front());
        if (!locked || std::chrono::steady_clock::now() + pause > deadline)
            throw CDBException(rc, std::move(records), origin);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(250));
    }
}

void Statement::Prepare(const std::string& sql) {
    CloseCursor();
    UnbindColumns();
    m_declared.clear();
    m_prepared = false;
    if (sql.empty()) throw CDBException("42000", "empty SQL statement", "SQLPrepare");
    std::string text = sql;
    CallWhileLocked("SQLPrepare", [&] {
        return SQLPrepare(Handle(), reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    });
    m_prepared = true;
}

SQLLEN Statement::ExecuteDirect(const std::string& sql) {
    CloseCursor();
    m_prepared = false;
    if (sql.empty()) throw CDBException("42000", "empty SQL statement", "SQLExecDirect");
    BindParameters();
    BindColumns();
    std::string text = sql;
    const SQLRETURN rc = CallWhileLocked("SQLExecDirect", [&] {
        return SQLExecDirect(Handle(), reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    });
    if (rc == SQL_NO_DATA) return 0;
    return Executed();
}

Statement::Parameter& Statement::Slot(SQLUSMALLINT number) {
    if (number == 0) throw CDBException("07009", "parameters are numbered from 1", "Statement::Set");
    if (m_parameters.size() < number) m_parameters.resize(number);
    return m_parameters[number - 1];
}

void Statement::SetNull(SQLUSMALLINT number, SQLSMALLINT sqlType) { Slot(number).value = Null{sqlType}; }
void Statement::SetInt16(SQLUSMALLINT number, std::int16_t value) { Slot(number).value = value; }
void Statement::SetInt32(SQLUSMALLINT number, std::int32_t value) { Slot(number).value = value; }
void Statement::SetText(SQLUSMALLINT number, std::string value) { Slot(number).value = std::move(value); }
void Statement::SetBinary(SQLUSMALLINT number, std::vector<std::uint8_t> value) { Slot(number).value = std::move(value); }
void Statement::SetTimestamp(SQLUSMALLINT number, const SQL_TIMESTAMP_STRUCT& value) { Slot(number).value = value; }
void Statement::SetDate(SQLUSMALLINT number, double automationDate) {
    Slot(number).value = TimestampFromAutomationDate(automationDate);
}

void Statement::BindParameters() {
    SQLRETURN rc = SQLFreeStmt(Handle(), SQL_RESET_PARAMS);
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLFreeStmt(SQL_RESET_PARAMS)");
    // A zero-length value still needs a valid buffer address.
    static SQLCHAR empty = 0;
    for (std::size_t i = 0; i < m_parameters.size(); ++i) {
        Parameter& parameter = m_parameters[i];
        auto number = static_cast<SQLUSMALLINT>(i + 1);
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        SQLULEN size = 1;
        SQLSMALLINT digits = 0;
        SQLPOINTER buffer = &empty;
        SQLLEN bufferLength = 0;
        std::visit(
            [&](auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::monostate>) {
                    throw CDBException("07002", fmt::format("parameter {} has no value", number), "Statement::Execute");
                } else if constexpr (std::is_same_v<T, Null>) {
                    sqlType = value.sqlType;
                    cType = CTypeForNull(value.sqlType);
                    parameter.indicator = SQL_NULL_DATA;
                } else if constexpr (std::is_same_v<T, std::int16_t>) {
                    cType = SQL_C_SSHORT;
                    sqlType = SQL_SMALLINT;
                    size = 5;
                    buffer = &value;
                    parameter.indicator = 0;
                } else if constexpr (std::is_same_v<T, std::int32_t>) {
                    cType = SQL_C_SLONG;
                    sqlType = SQL_INTEGER;
                    size = 10;
                    buffer = &value;
                    parameter.indicator = 0;
                } else if constexpr (std::is_same_v<T, std::string>) {
                    sqlType = value.size() > kLongTextBytes ? SQL_LONGVARCHAR : SQL_VARCHAR;
                    size = std::max<SQLULEN>(1, value.size());
                    if (!value.empty()) buffer = value.data();
                    bufferLength = static_cast<SQLLEN>(value.size());
                    parameter.indicator = static_cast<SQLLEN>(value.size());
                } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
                    cType = SQL_C_BINARY;
                    sqlType = SQL_LONGVARBINARY;
                    size = std::max<SQLULEN>(1, value.size());
                    if (!value.empty()) buffer = value.data();
                    bufferLength = static_cast<SQLLEN>(value.size());
                    parameter.indicator = static_cast<SQLLEN>(value.size());
                } else {
                    cType = SQL_C_TYPE_TIMESTAMP;
                    sqlType = SQL_TYPE_TIMESTAMP;
                    size = 23;
                    digits = 3;
                    buffer = &value;
                    bufferLength = sizeof(SQL_TIMESTAMP_STRUCT);
                    parameter.indicator = 0;
                }
            },
            parameter.value);
        rc = SQLBindParameter(Handle(), number, SQL_PARAM_INPUT, cType, sqlType, size, digits, buffer, bufferLength,
                              &parameter.indicator);
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLBindParameter");
    }
}

void Statement::BindResult(std::vector<ResultColumn> columns) {
    UnbindColumns();
    m_declared = std::move(columns);
}

// Binds the declared columns up to the first long one. The block holds
// several rows only when every column is bound: SQLGetData in a block
// would need the driver's positioning on each row. No row status array is
// bound: psqlODBC reads a fifth slower with one.
void Statement::BindColumns() {
    if (m_columnsBound || m_declared.empty()) return;
    m_bound.assign(m_declared.size(), BoundColumn{});
    std::size_t boundCount = 0;
    std::size_t rowBytes = 0;
    for (const ResultColumn& column : m_declared) {
        if (column.kind == ResultKind::Long) break;
        ++boundCount;
        rowBytes += WidthOf(column);
    }
    if (boundCount == 0) return;
    m_blockRows = boundCount == m_declared.size()
                      ? std::clamp<SQLULEN>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1, kMaxBlockRows)
                      : 1;
    const auto setAttribute = [&](SQLINTEGER attribute, SQLPOINTER value, const char* origin) {
        const SQLRETURN rc = SQLSetStmtAttr(Handle(), attribute, value, 0);
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), origin);
    };
    m_columnsBound = true;  // from here on UnbindColumns has something to undo
    setAttribute(SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN),
                 "SQLSetStmtAttr(SQL_ATTR_ROW_BIND_TYPE)");
    setAttribute(SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(m_blockRows),
                 "SQLSetStmtAttr(SQL_ATTR_ROW_ARRAY_SIZE)");
    setAttribute(SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched, "SQLSetStmtAttr(SQL_ATTR_ROWS_FETCHED_PTR)");
    for (std::size_t i = 0; i < boundCount; ++i) {
        BoundColumn& bound = m_bound[i];
        bound.cType = CTypeOf(m_declared[i].kind);
        bound.width = WidthOf(m_declared[i]);
        bound.data.assign(bound.width * m_blockRows, 0);
        bound.indicators.assign(m_blockRows, 0);
        const SQLRETURN rc = SQLBindCol(Handle(), static_cast<SQLUSMALLINT>(i + 1), bound.cType, bound.data.data(),
                                        static_cast<SQLLEN>(bound.width), bound.indicators.data());
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLBindCol");
    }
}

void Statement::UnbindColumns() noexcept {
    m_fetched = 0;
    m_row = 0;
    if (!m_columnsBound) return;
    SQLFreeStmt(Handle(), SQL_UNBIND);
    SQLSetStmtAttr(Handle(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(Handle(), SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    m_bound.clear();
    m_blockRows = 1;
    m_columnsBound = false;
}

const Statement::BoundColumn* Statement::Bound(SQLUSMALLINT column, SQLSMALLINT cType) const {
    if (!m_columnsBound || column == 0 || column > m_bound.size()) return nullptr;
    const BoundColumn& bound = m_bound[column - 1];
    if (bound.cType == 0) return nullptr;
    if (bound.cType != cType)
        throw CDBException("07006", fmt::format("column {} was declared as another type", column), "Statement::Get");
    if (m_row >= m_fetched) throw CDBException("24000", "there is no current row", "Statement::Get");
    return &bound;
}

void Statement::PositionForGetData() {
    if (m_blockRows == 1) return;
    const SQLRETURN rc = SQLSetPos(Handle(), static_cast<SQLSETPOSIROW>(m_row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE);
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLSetPos(SQL_POSITION)");
}

SQLLEN Statement::Execute() {
    if (!m_prepared) throw CDBException("HY010", "no statement is prepared", "SQLExecute");
    // Closing costs the SQLite driver its compiled statement, which it would
    // then prepare again: only a result that may still be open is closed.
    if (m_resultOpen) CloseCursor();
    BindParameters();
    BindColumns();
    SQLRETURN rc;
    {
        CallDeadline deadline(m_hdbc);
        rc = SQLExecute(Handle());
    }
    // An UPDATE or DELETE that matched no row.
    if (rc == SQL_NO_DATA) return 0;
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLExecute");
    return Executed();
}

SQLLEN Statement::Executed() {
    m_resultOpen = ColumnCount() > 0;
    SQLLEN rows = -1;
    const SQLRETURN rc = SQLRowCount(Handle(), &rows);
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLRowCount");
    return rows;
}

bool Statement::Fetch() {
    if (m_columnsBound && m_row + 1 < m_fetched) {
        ++m_row;
        return true;
    }
    m_row = 0;
    m_fetched = 0;
    SQLRETURN rc;
    {
        CallDeadline deadline(m_hdbc);
        rc = SQLFetch(Handle());
    }
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLFetch");
    if (!m_columnsBound) return true;
    // A row of the block that could not be read makes the fetch answer
    // with information; warnings (class 01, such as a text longer than its
    // buffer, which the getter reads again) are not failures.
    if (rc == SQL_SUCCESS_WITH_INFO) {
        std::vector<DiagRecord> records = ReadDiagnostics(SQL_HANDLE_STMT, Handle());
        const bool failed = std::any_of(records.begin(), records.end(),
                                        [](const DiagRecord& record) { return record.state.rfind("01", 0) != 0; });
        if (failed) throw CDBException(rc, std::move(records), "SQLFetch");
    }
    return m_fetched > 0;
}

SQLSMALLINT Statement::ColumnCount() {
    SQLSMALLINT count = 0;
    SQLRETURN rc = SQLNumResultCols(Handle(), &count);
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), "SQLNumResultCols");
    return count;
}

void Statement::CloseCursor() noexcept {
    SQLFreeStmt(Handle(), SQL_CLOSE);
    m_resultOpen = false;
    m_fetched = 0;
    m_row = 0;
}

template <typename T>
std::optional<T> Statement::GetFixed(SQLUSMALLINT column, SQLSMALLINT cType, const char* origin) {
    T value{};
    if (const BoundColumn* bound = Bound(column, cType)) {
        if (Indicator(*bound) == SQL_NULL_DATA) return std::nullopt;
        std::memcpy(&value, Cell(*bound), sizeof(value));
        return value;
    }
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(Handle(), column, cType, &value, sizeof(value), &indicator);
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), origin);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return value;
}

template <typename Buffer>
std::optional<Buffer> Statement::GetLong(SQLUSMALLINT column, SQLSMALLINT cType, const char* origin) {
    // Character pieces end in a terminating zero that is not part of the data.
    const std::size_t terminator = cType == SQL_C_CHAR ? 1 : 0;
    Buffer result;
    std::vector<std::uint8_t> piece(kPieceBytes);
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(Handle(), column, cType, piece.data(), static_cast<SQLLEN>(piece.size()), &indicator);
        // After the last piece the driver answers SQL_NO_DATA.
        if (rc == SQL_NO_DATA && !first) break;
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, Handle(), origin);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        const std::size_t room = piece.size() - terminator;
        const bool more = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
        if (first && indicator != SQL_NO_TOTAL) result.reserve(static_cast<std::size_t>(indicator));
        std::size_t length = more ? room : static_cast<std::size_t>(indicator);
        result.insert(result.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(length));
        if (!more) break;
    }
    return result;
}

std::optional<std::int16_t> Statement::GetInt16(SQLUSMALLINT column) {
    return GetFixed<std::int16_t>(column, SQL_C_SSHORT, "SQLGetData(SQL_C_SSHORT)");
}

std::optional<std::int32_t> Statement::GetInt32(SQLUSMALLINT column) {
    return GetFixed<std::int32_t>(column, SQL_C_SLONG, "SQLGetData(SQL_C_SLONG)");
}

std::optional<SQL_TIMESTAMP_STRUCT> Statement::GetTimestamp(SQLUSMALLINT column) {
    return GetFixed<SQL_TIMESTAMP_STRUCT>(column, SQL_C_TYPE_TIMESTAMP, "SQLGetData(SQL_C_TYPE_TIMESTAMP)");
}

std::optional<std::string> Statement::GetText(SQLUSMALLINT column) {
    std::string text;
    if (!ReadText(column, text)) return std::nullopt;
    return text;
}

bool Statement::ReadText(SQLUSMALLINT column, std::string& text) {
    if (const BoundColumn* bound = Bound(column, SQL_C_CHAR)) {
        const SQLLEN indicator = Indicator(*bound);
        if (indicator == SQL_NULL_DATA) return false;
        if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) < bound->width) {
            text.assign(Cell(*bound), static_cast<std::size_t>(indicator));
            return true;
        }
        // Longer than the column's declared length: read it whole, where
        // the driver can give a bound column again (the SQLite driver cannot).
        try {
            PositionForGetData();
            auto value = GetLong<std::string>(column, SQL_C_CHAR, "SQLGetData(SQL_C_CHAR)");
            if (!value) return false;
            text = std::move(*value);
            return true;
        } catch (const CDBException&) {
            const std::string size = indicator == SQL_NO_TOTAL ? "more" : std::to_string(indicator);
            throw CDBException("01004",
                               fmt::format("column {} holds a text of {} bytes, more than the {} it was declared with, "
                                           "and the driver cannot read it again",
                                           column, size, bound->width - 1),
                               "Statement::ReadText");
        }
    }
    auto value = GetLong<std::string>(column, SQL_C_CHAR, "SQLGetData(SQL_C_CHAR)");
    if (!value) return false;
    text = std::move(*value);
    return true;
}

std::optional<std::vector<std::uint8_t>> Statement::GetBinary(SQLUSMALLINT column) {
    return GetLong<std::vector<std::uint8_t>>(column, SQL_C_BINARY, "SQLGetData(SQL_C_BINARY)");
}

}  // namespace qel::odbc
