// Owners of the three ODBC handle kinds.
//
// Environment::Shared() is the process's one ODBC 3 environment, created on
// first use (thread-safe) and kept alive by every connection made on it.
// ConnectionHandle allocates a connection on it and, when destroyed, rolls
// back what is pending, disconnects and frees it. StatementHandle frees its
// statement. All three are move-only; destructors never throw.
//
// Disconnecting frees every statement of the connection inside the driver
// manager. A StatementHandle made on a connection that ConnectionHandle
// connected learns of that through a shared token: afterwards Get() answers
// SQL_NULL_HSTMT (ODBC calls fail with SQL_INVALID_HANDLE) and the
// destructor frees nothing, so a statement that outlives its connection's
// close is harmless instead of touching freed memory.
#pragma once

#include <memory>

#include <qel/outside/odbc/Odbc.h>
#include <qel/platform/Export.h>

namespace qel::odbc {

class QEL_API Environment {
public:
    // Throws CDBException when the driver manager cannot give an environment.
    static std::shared_ptr<Environment> Shared();

    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    SQLHENV Get() const noexcept { return m_henv; }

private:
    Environment();
    SQLHENV m_henv = SQL_NULL_HENV;
};

class QEL_API ConnectionHandle {
public:
    // Allocates a connection on the shared environment; throws CDBException.
    ConnectionHandle();
    ~ConnectionHandle();
    ConnectionHandle(ConnectionHandle&& other) noexcept;
    ConnectionHandle& operator=(ConnectionHandle&& other) noexcept;
    ConnectionHandle(const ConnectionHandle&) = delete;
    ConnectionHandle& operator=(const ConnectionHandle&) = delete;

    SQLHDBC Get() const noexcept { return m_hdbc; }
    // Set after a successful SQLDriverConnect, so the destructor disconnects.
    void SetConnected(bool connected) noexcept;
    bool IsConnected() const noexcept { return m_connected; }
    // Rolls back an open transaction and disconnects; the handle stays allocated.
    void Disconnect() noexcept;

private:
    void Release() noexcept;

    std::shared_ptr<Environment> m_env;
    SQLHDBC m_hdbc = SQL_NULL_HDBC;
    bool m_connected = false;
    // Lives exactly as long as the connection is connected.
    std::shared_ptr<const int> m_session;
};

class QEL_API StatementHandle {
public:
    // Allocates a statement on the connection; throws CDBException.
    explicit StatementHandle(SQLHDBC hdbc);
    ~StatementHandle();
    StatementHandle(StatementHandle&& other) noexcept;
    StatementHandle& operator=(StatementHandle&& other) noexcept;
    StatementHandle(const StatementHandle&) = delete;
    StatementHandle& operator=(const StatementHandle&) = delete;

    // SQL_NULL_HSTMT once the connection it was made on has disconnected.
    SQLHSTMT Get() const noexcept { return Alive() ? m_hstmt : SQL_NULL_HSTMT; }

private:
    bool Alive() const noexcept { return !m_tracked || !m_session.expired(); }
    void Free() noexcept;

    SQLHSTMT m_hstmt = SQL_NULL_HSTMT;
    // Set when the connection is one of ConnectionHandle's; otherwise the
    // caller owns the ordering and the handle is always freed.
    bool m_tracked = false;
    std::weak_ptr<const int> m_session;
};

}  // namespace qel::odbc
