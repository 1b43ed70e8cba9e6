#include <qel/outside/odbc/Database.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include <qel/outside/odbc/CallWatchdogInternal.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Handles.h>
#include <qel/outside/Log.h>

namespace {

constexpr DWORD kDefaultLoginTimeout = 15;

std::string StripOdbcPrefix(const std::string& connect) {
    if (connect.size() >= 5 && (connect[0] == 'O' || connect[0] == 'o') && (connect[1] == 'D' || connect[1] == 'd') &&
        (connect[2] == 'B' || connect[2] == 'b') && (connect[3] == 'C' || connect[3] == 'c') && connect[4] == ';') {
        return connect.substr(5);
    }
    return connect;
}

void SetAutocommit(SQLHDBC hdbc, bool on, const char* origin) {
    SQLRETURN rc = SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT,
                                     reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
                                     SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_DBC, hdbc, origin);
}

}  // namespace

struct CDatabase::Impl {
    std::optional<qel::odbc::ConnectionHandle> connection;
    qel::odbc::Engine engine = qel::odbc::Engine::Unknown;
    std::string completedConnect;
    DWORD loginTimeout = kDefaultLoginTimeout;
    bool inTransaction = false;

    SQLHDBC Handle() const { return connection ? connection->Get() : SQL_NULL_HDBC; }

    void RequireOpen(const char* origin) const {
        if (!connection || !connection->IsConnected()) {
            throw CDBException("08003", "the connection is not open", origin);
        }
    }
};

CDatabase::CDatabase() : m_impl(std::make_unique<Impl>()) {}

CDatabase::~CDatabase() { Close(); }

BOOL CDatabase::Open(LPCSTR lpszDSN, BOOL bExclusive, BOOL bReadOnly, LPCSTR lpszConnect, BOOL bUseCursorLib) {
    std::string connect = StripOdbcPrefix(lpszConnect != nullptr ? lpszConnect : "");
    if (lpszDSN != nullptr && *lpszDSN != '\0') connect = "DSN=" + std::string(lpszDSN) + ";" + connect;
    DWORD options = noOdbcDialog;
    if (bExclusive) options |= openExclusive;
    if (bReadOnly) options |= openReadOnly;
    if (bUseCursorLib) options |= useCursorLib;
    try {
        return OpenEx(connect.c_str(), options);
    } catch (const CDBException& e) {
        // The caller turns this into a code; the driver's words are the
        // cause a person needs. The connect string may hold a password, so
        // only the message is logged.
        qel::outside::LogWarning("the ODBC connection failed: " + e.m_strError +
                                 (e.m_strSQLState.empty() ? std::string() : " [" + e.m_strSQLState + "]"));
        throw;
    }
}

BOOL CDatabase::OpenEx(LPCSTR lpszConnectString, DWORD dwOptions) {
    if (IsOpen()) throw CDBException("08002", "the connection is already open", "CDatabase::OpenEx");
    if ((dwOptions & openExclusive) != 0) {
        throw CDBException("HYC00", "exclusive access to a data source is not supported", "CDatabase::OpenEx");
    }
    std::string connect = qel::odbc::AdaptConnectString(StripOdbcPrefix(lpszConnectString ? lpszConnectString : ""));

    qel::odbc::ConnectionHandle connection;
    SQLHDBC hdbc = connection.Get();
    if (m_impl->loginTimeout > 0) {
        SQLRETURN rc = SQLSetConnectAttr(hdbc, SQL_ATTR_LOGIN_TIMEOUT,
                                         reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_impl->loginTimeout)),
                                         SQL_IS_UINTEGER);
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_DBC, hdbc, "SQLSetConnectAttr(SQL_ATTR_LOGIN_TIMEOUT)");
    }

    std::vector<SQLCHAR> completed(4096);
    SQLSMALLINT completedLength = 0;
    SQLRETURN rc = SQL_ERROR;
    {
        // One connect at a time, so the one socket a connect opens is known
        // to be this connection's (the call watchdog needs it).
        static std::mutex connecting;
        std::lock_guard lock(connecting);
        qel::odbc::SocketSnapshot before;
        rc = SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()),
                              static_cast<SQLSMALLINT>(connect.size()), completed.data(),
                              static_cast<SQLSMALLINT>(completed.size()), &completedLength, SQL_DRIVER_NOPROMPT);
        if (rc == SQL_NO_DATA) return FALSE;
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_DBC, hdbc, "SQLDriverConnect");
        connection.SetConnected(true);
        const std::string completedText(reinterpret_cast<const char*>(completed.data()),
                                        std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(completedLength, 0)),
                                                              completed.size() - 1));
        qel::odbc::WatchConnection(hdbc, before.NewSocket(qel::odbc::PortOfConnectString(completedText)));
    }
    // A failure from here on drops the connection: the watchdog forgets it first.
    struct Unwatch {
        SQLHDBC hdbc;
        bool armed = true;
        ~Unwatch() {
            if (armed) qel::odbc::ForgetConnection(hdbc);
        }
    } unwatch{hdbc};

    if ((dwOptions & openReadOnly) != 0) {
        rc = SQLSetConnectAttr(hdbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY),
                               SQL_IS_UINTEGER);
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_DBC, hdbc, "SQLSetConnectAttr(SQL_ATTR_ACCESS_MODE)");
    }

    qel::odbc::Engine engine = qel::odbc::DetectEngine(hdbc);
    if (engine == qel::odbc::Engine::PostgreSQL) {
        // timestamptz values are read and written in the session's zone; UTC
        // keeps them as the component wrote them, whatever the server's zone.
        qel::odbc::StatementHandle statement(hdbc);
        SQLCHAR setZone[] = "SET TIME ZONE 'UTC'";
        qel::odbc::CallDeadline deadline(hdbc);
        rc = SQLExecDirect(statement.Get(), setZone, SQL_NTS);
        if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, statement.Get(), "SET TIME ZONE");
    }

    m_impl->completedConnect.assign(reinterpret_cast<const char*>(completed.data()),
                                    std::min<std::size_t>(static_cast<std::size_t>(completedLength), completed.size() - 1));
    m_impl->engine = engine;
    m_impl->inTransaction = false;
    m_impl->connection = std::move(connection);
    m_hdbc = m_impl->Handle();
    unwatch.armed = false;
    return TRUE;
}

void CDatabase::Close() noexcept {
    if (m_impl->connection) qel::odbc::ForgetConnection(m_impl->connection->Get());
    m_impl->connection.reset();
    m_impl->engine = qel::odbc::Engine::Unknown;
    m_impl->completedConnect.clear();
    m_impl->inTransaction = false;
    m_hdbc = SQL_NULL_HDBC;
}

BOOL CDatabase::IsOpen() const noexcept { return m_impl->connection && m_impl->connection->IsConnected(); }

void CDatabase::ExecuteSQL(LPCSTR lpszSQL) {
    m_impl->RequireOpen("CDatabase::ExecuteSQL");
    if (lpszSQL == nullptr || *lpszSQL == '\0') throw CDBException("42000", "empty SQL statement", "CDatabase::ExecuteSQL");
    qel::odbc::StatementHandle statement(m_hdbc);
    std::string sql(lpszSQL);
    qel::odbc::CallDeadline deadline(m_hdbc);
    SQLRETURN rc = SQLExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(sql.data()), static_cast<SQLINTEGER>(sql.size()));
    // SQL_NO_DATA: an UPDATE or DELETE that matched no row.
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_STMT, statement.Get(), "SQLExecDirect");
}

BOOL CDatabase::InTransaction() const noexcept { return IsOpen() && m_impl->inTransaction ? TRUE : FALSE; }

BOOL CDatabase::BeginTrans() {
    if (!IsOpen() || m_impl->inTransaction) return FALSE;
    SetAutocommit(m_hdbc, false, "SQLSetConnectAttr(SQL_ATTR_AUTOCOMMIT)");
    m_impl->inTransaction = true;
    return TRUE;
}

BOOL CDatabase::CommitTrans() {
    if (!IsOpen() || !m_impl->inTransaction) return FALSE;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_hdbc, SQL_COMMIT);
    if (!SQL_SUCCEEDED(rc)) {
        // The transaction stays open: the caller decides to roll it back.
        CDBException::Throw(rc, SQL_HANDLE_DBC, m_hdbc, "SQLEndTran(SQL_COMMIT)");
    }
    m_impl->inTransaction = false;
    SetAutocommit(m_hdbc, true, "SQLSetConnectAttr(SQL_ATTR_AUTOCOMMIT)");
    return TRUE;
}

BOOL CDatabase::Rollback() {
    if (!IsOpen() || !m_impl->inTransaction) return FALSE;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_hdbc, SQL_ROLLBACK);
    if (!SQL_SUCCEEDED(rc)) CDBException::Throw(rc, SQL_HANDLE_DBC, m_hdbc, "SQLEndTran(SQL_ROLLBACK)");
    m_impl->inTransaction = false;
    SetAutocommit(m_hdbc, true, "SQLSetConnectAttr(SQL_ATTR_AUTOCOMMIT)");
    return TRUE;
}

qel::odbc::Engine CDatabase::Engine() const noexcept { return m_impl->engine; }

std::string CDatabase::GetConnect() const { return IsOpen() ? "ODBC;" + m_impl->completedConnect : std::string(); }

void CDatabase::SetLoginTimeout(DWORD seconds) noexcept { m_impl->loginTimeout = seconds; }

BOOL CDatabase::IsConnectionDead() const noexcept {
    if (!IsOpen()) return TRUE;
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttr(m_hdbc, SQL_ATTR_CONNECTION_DEAD, &dead, SQL_IS_UINTEGER, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE ? TRUE : FALSE;
}
