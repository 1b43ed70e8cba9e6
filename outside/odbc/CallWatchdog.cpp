#include <qel/outside/odbc/CallWatchdogInternal.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <fmt/format.h>

#include <qel/outside/Log.h>

namespace qel::odbc {

namespace {

// How often the watchdog looks at the armed deadlines while connections are watched.
constexpr std::chrono::milliseconds kTick{200};

// The TCP port of a socket's peer; empty for other families.
std::optional<int> PeerPort(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof(peer);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return std::nullopt;
    if (peer.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port);
    if (peer.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port);
    return std::nullopt;
}

std::optional<SocketId> ConnectedStreamSocket(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode)) return std::nullopt;
    int type = 0;
    socklen_t length = sizeof(type);
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM) return std::nullopt;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof(peer);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return std::nullopt;
    return SocketId{fd, status.st_ino};
}

std::vector<SocketId> ConnectedStreamSockets() {
    std::vector<SocketId> sockets;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return sockets;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        if (auto socket = ConnectedStreamSocket(static_cast<int>(fd))) sockets.push_back(*socket);
    }
    ::closedir(dir);
    return sockets;
}

// True while the watchdog object exists; calls made during the process's
// static destruction find it gone and do nothing.
std::atomic<bool> g_alive{false};
// How many connections are watched. While none is (only SQLite files are
// open), arming a deadline is one relaxed load: no environment lookup, no lock.
std::atomic<int> g_watched{0};

class Watchdog {
public:
    static Watchdog& Instance() {
        static Watchdog watchdog;
        return watchdog;
    }

    ~Watchdog() {
        g_alive = false;
        {
            std::lock_guard lock(m_guard);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

    void Watch(SQLHDBC hdbc, SocketId socket) {
        std::lock_guard lock(m_guard);
        m_sockets[hdbc] = socket;
        g_watched.store(static_cast<int>(m_sockets.size()), std::memory_order_relaxed);
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
        m_wake.notify_all();
    }

    void Forget(SQLHDBC hdbc) {
        std::lock_guard lock(m_guard);
        m_sockets.erase(hdbc);
        g_watched.store(static_cast<int>(m_sockets.size()), std::memory_order_relaxed);
        std::erase_if(m_armed, [hdbc](const auto& entry) { return entry.second.hdbc == hdbc; });
    }

    unsigned long long Arm(SQLHDBC hdbc, std::chrono::seconds timeout) {
        std::lock_guard lock(m_guard);
        auto it = m_sockets.find(hdbc);
        if (it == m_sockets.end()) return 0;
        const unsigned long long id = ++m_lastId;
        m_armed[id] = Armed{hdbc, it->second, std::chrono::steady_clock::now() + timeout, timeout};
        return id;
    }

    void Disarm(unsigned long long id) {
        std::lock_guard lock(m_guard);
        m_armed.erase(id);
    }

private:
    struct Armed {
        SQLHDBC hdbc;
        SocketId socket;
        std::chrono::steady_clock::time_point deadline;
        std::chrono::seconds timeout;
        bool severed = false;
    };

    Watchdog() { g_alive = true; }

    void Run() {
        std::unique_lock lock(m_guard);
        while (!m_stop) {
            if (m_sockets.empty()) {
                m_wake.wait(lock, [this] { return m_stop || !m_sockets.empty(); });
                continue;
            }
            m_wake.wait_for(lock, kTick, [this] { return m_stop; });
            const auto now = std::chrono::steady_clock::now();
            for (auto& [id, armed] : m_armed)
                if (!armed.severed && armed.deadline <= now) Sever(armed);
        }
    }

    // Shuts the connection's socket down, so the driver's wait for the
    // server ends; the descriptor stays the driver's to close.
    static void Sever(Armed& armed) {
        armed.severed = true;
        if (ConnectedStreamSocket(armed.socket.fd) != armed.socket) return;
        ::shutdown(armed.socket.fd, SHUT_RDWR);
        qel::outside::LogWarning(fmt::format(
            "the database server did not answer within {} s; the connection was given up", armed.timeout.count()));
    }

    std::mutex m_guard;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_stop = false;
    std::map<SQLHDBC, SocketId> m_sockets;
    std::map<unsigned long long, Armed> m_armed;
    unsigned long long m_lastId = 0;
};

}  // namespace

std::chrono::seconds CallTimeout() noexcept {
    const char* text = std::getenv(kCallTimeoutVariable);
    if (text == nullptr || *text == '\0') return kDefaultCallTimeout;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != '\0' || seconds < 0) return kDefaultCallTimeout;
    return std::chrono::seconds(std::min<long>(seconds, 24L * 3600));
}

SocketSnapshot::SocketSnapshot() : m_sockets(ConnectedStreamSockets()) {}

std::optional<SocketId> SocketSnapshot::NewSocket(std::optional<int> peerPort) const {
    std::optional<SocketId> found;
    for (const SocketId& socket : ConnectedStreamSockets()) {
        if (std::find(m_sockets.begin(), m_sockets.end(), socket) != m_sockets.end()) continue;
        if (peerPort && PeerPort(socket.fd) != peerPort) continue;
        if (found) return std::nullopt;
        found = socket;
    }
    return found;
}

std::optional<int> PortOfConnectString(const std::string& connect) {
    std::size_t start = 0;
    while (start < connect.size()) {
        std::size_t end = connect.find(';', start);
        if (end == std::string::npos) end = connect.size();
        const std::string pair = connect.substr(start, end - start);
        const auto equals = pair.find('=');
        if (equals != std::string::npos) {
            std::string key = pair.substr(0, equals);
            for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (key == "PORT") {
                char* tail = nullptr;
                const long port = std::strtol(pair.c_str() + equals + 1, &tail, 10);
                if (*tail == '\0' && port > 0 && port < 65536) return static_cast<int>(port);
                return std::nullopt;
            }
        }
        start = end + 1;
    }
    return std::nullopt;
}

void WatchConnection(SQLHDBC hdbc, std::optional<SocketId> socket) noexcept {
    if (!socket) return;
    try {
        Watchdog::Instance().Watch(hdbc, *socket);
    } catch (...) {
        // Without a thread the connection is simply not watched.
    }
}

void ForgetConnection(SQLHDBC hdbc) noexcept {
    if (g_alive) Watchdog::Instance().Forget(hdbc);
}

CallDeadline::CallDeadline(SQLHDBC hdbc) noexcept {
    if (g_watched.load(std::memory_order_relaxed) == 0) return;
    const auto timeout = CallTimeout();
    if (timeout.count() == 0 || !g_alive) return;
    try {
        m_id = Watchdog::Instance().Arm(hdbc, timeout);
    } catch (...) {
        m_id = 0;
    }
}

CallDeadline::~CallDeadline() {
    if (m_id != 0 && g_alive) Watchdog::Instance().Disarm(m_id);
}

}  // namespace qel::odbc
