#include <qel/outside/odbc/Handles.h>

#include <mutex>
#include <unordered_map>
#include <utility>

#include <qel/outside/odbc/DBException.h>

namespace qel::odbc {

namespace {

// The session tokens of the connections that are connected, by handle.
class Sessions {
public:
    static Sessions& Instance() {
        static Sessions sessions;
        return sessions;
    }
    void Add(SQLHDBC hdbc, const std::shared_ptr<const int>& token) {
        std::lock_guard lock(m_guard);
        m_tokens[hdbc] = token;
    }
    void Remove(SQLHDBC hdbc) {
        std::lock_guard lock(m_guard);
        m_tokens.erase(hdbc);
    }
    // Empty when `hdbc` is not a connected ConnectionHandle.
    std::weak_ptr<const int> Find(SQLHDBC hdbc, bool& found) {
        std::lock_guard lock(m_guard);
        auto it = m_tokens.find(hdbc);
        found = it != m_tokens.end();
        return found ? it->second : std::weak_ptr<const int>();
    }

private:
    std::mutex m_guard;
    std::unordered_map<SQLHDBC, std::weak_ptr<const int>> m_tokens;
};

}  // namespace

std::shared_ptr<Environment> Environment::Shared() {
    // A failed first attempt is not cached: the next caller tries again.
    static std::mutex guard;
    static std::weak_ptr<Environment> current;
    std::lock_guard lock(guard);
    if (auto env = current.lock()) return env;
    std::shared_ptr<Environment> env(new Environment());
    current = env;
    return env;
}

Environment::Environment() {
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_henv);
    if (!SQL_SUCCEEDED(rc)) throw CDBException(rc, {}, "SQLAllocHandle(SQL_HANDLE_ENV)");
    rc = SQLSetEnvAttr(m_henv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error(rc, ReadDiagnostics(SQL_HANDLE_ENV, m_henv), "SQLSetEnvAttr(SQL_ATTR_ODBC_VERSION)");
        SQLFreeHandle(SQL_HANDLE_ENV, m_henv);
        throw error;
    }
}

Environment::~Environment() { SQLFreeHandle(SQL_HANDLE_ENV, m_henv); }

ConnectionHandle::ConnectionHandle() : m_env(Environment::Shared()) {
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, m_env->Get(), &m_hdbc);
    if (!SQL_SUCCEEDED(rc)) {
        m_hdbc = SQL_NULL_HDBC;
        CDBException::Throw(rc, SQL_HANDLE_ENV, m_env->Get(), "SQLAllocHandle(SQL_HANDLE_DBC)");
    }
}

ConnectionHandle::~ConnectionHandle() { Release(); }

ConnectionHandle::ConnectionHandle(ConnectionHandle&& other) noexcept
    : m_env(std::move(other.m_env)),
      m_hdbc(std::exchange(other.m_hdbc, nullptr)),
      m_connected(std::exchange(other.m_connected, false)),
      m_session(std::move(other.m_session)) {}

ConnectionHandle& ConnectionHandle::operator=(ConnectionHandle&& other) noexcept {
    if (this != &other) {
        Release();
        m_env = std::move(other.m_env);
        m_hdbc = std::exchange(other.m_hdbc, nullptr);
        m_connected = std::exchange(other.m_connected, false);
        m_session = std::move(other.m_session);
    }
    return *this;
}

void ConnectionHandle::SetConnected(bool connected) noexcept {
    if (connected == m_connected) return;
    m_connected = connected;
    if (connected) {
        m_session = std::make_shared<const int>(0);
        Sessions::Instance().Add(m_hdbc, m_session);
    } else {
        Sessions::Instance().Remove(m_hdbc);
        m_session.reset();
    }
}

void ConnectionHandle::Disconnect() noexcept {
    if (!m_connected) return;
    // A pending transaction makes SQLDisconnect fail with 25000; nothing of it
    // is to be kept.
    SQLEndTran(SQL_HANDLE_DBC, m_hdbc, SQL_ROLLBACK);
    // The token goes first: the driver manager frees the statements now.
    SetConnected(false);
    SQLDisconnect(m_hdbc);
}

void ConnectionHandle::Release() noexcept {
    if (m_hdbc == SQL_NULL_HDBC) return;
    Disconnect();
    SQLFreeHandle(SQL_HANDLE_DBC, m_hdbc);
    m_hdbc = SQL_NULL_HDBC;
    m_env.reset();
}

StatementHandle::StatementHandle(SQLHDBC hdbc) {
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &m_hstmt);
    if (!SQL_SUCCEEDED(rc)) {
        m_hstmt = SQL_NULL_HSTMT;
        CDBException::Throw(rc, SQL_HANDLE_DBC, hdbc, "SQLAllocHandle(SQL_HANDLE_STMT)");
    }
    m_session = Sessions::Instance().Find(hdbc, m_tracked);
}

StatementHandle::~StatementHandle() { Free(); }

void StatementHandle::Free() noexcept {
    if (m_hstmt != SQL_NULL_HSTMT && Alive()) SQLFreeHandle(SQL_HANDLE_STMT, m_hstmt);
    m_hstmt = SQL_NULL_HSTMT;
}

StatementHandle::StatementHandle(StatementHandle&& other) noexcept
    : m_hstmt(std::exchange(other.m_hstmt, nullptr)),
      m_tracked(std::exchange(other.m_tracked, false)),
      m_session(std::move(other.m_session)) {}

StatementHandle& StatementHandle::operator=(StatementHandle&& other) noexcept {
    if (this != &other) {
        Free();
        m_hstmt = std::exchange(other.m_hstmt, nullptr);
        m_tracked = std::exchange(other.m_tracked, false);
        m_session = std::move(other.m_session);
    }
    return *this;
}

}  // namespace qel::odbc
