// A bounded wait for calls that go to a database server.
//
// psqlODBC waits for the server's answer without a limit of its own: its
// query timeout is the server-side statement_timeout, which a server that
// stopped answering never applies, and libpq polls its socket without a
// timeout. A call on a connection whose server went silent would block the
// caller's thread for good. The watchdog knows the socket of every server
// connection (the one stream socket the connect opened) and shuts it down
// when a call on that connection has waited longer than the call timeout;
// the driver then sees the connection as lost and the call fails (08S01).
//
//   SocketSnapshot before;                          // before SQLDriverConnect
//   ... connect ...
//   WatchConnection(hdbc, before.NewSocket());      // after it
//   { CallDeadline deadline(hdbc); SQLExecute(...); }
//   ForgetConnection(hdbc);                         // before SQLDisconnect
//
// Connections without a socket of their own (SQLite files) are never
// watched, and a CallDeadline on them does nothing. The timeout comes from
// QEL_DB_CALL_TIMEOUT (seconds, default 60, 0 switches the watchdog off),
// read whenever a deadline is armed. Nothing here throws.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <qel/outside/odbc/Odbc.h>

namespace qel::odbc {

constexpr const char* kCallTimeoutVariable = "QEL_DB_CALL_TIMEOUT";
constexpr std::chrono::seconds kDefaultCallTimeout{60};

// The call timeout in effect now; zero when calls may wait as long as they take.
std::chrono::seconds CallTimeout() noexcept;

// One socket of the process: its descriptor and the inode behind it, so a
// descriptor the driver closed and the system handed out again is not
// mistaken for the connection's.
struct SocketId {
    int fd = -1;
    ino_t inode = 0;
    bool operator==(const SocketId&) const = default;
};

// The connected stream sockets of the process at construction.
class SocketSnapshot {
public:
    SocketSnapshot();
    // The one connected stream socket that is new since the snapshot and,
    // when `peerPort` is given, talks to that TCP port; empty when there is
    // none or more than one (another thread of the process connected too).
    std::optional<SocketId> NewSocket(std::optional<int> peerPort) const;

private:
    std::vector<SocketId> m_sockets;
};

// The server's port named by a completed connect string ("PORT=5432;...").
std::optional<int> PortOfConnectString(const std::string& connect);

void WatchConnection(SQLHDBC hdbc, std::optional<SocketId> socket) noexcept;
void ForgetConnection(SQLHDBC hdbc) noexcept;

// Arms the deadline of one call on `hdbc` for its lifetime.
class CallDeadline {
public:
    explicit CallDeadline(SQLHDBC hdbc) noexcept;
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

private:
    unsigned long long m_id = 0;  // 0: not armed
};

}  // namespace qel::odbc
