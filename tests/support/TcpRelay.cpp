#include "support/TcpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace qel::test {

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address = Loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

TcpRelay::TcpRelay(int targetPort) : m_targetPort(targetPort) {
    if (::pipe2(m_wake, O_CLOEXEC) != 0) return;
    Listen();
    if (m_listener < 0) return;
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay() {
    if (m_thread.joinable()) SetMode(Mode::Stopped);
    if (m_thread.joinable()) m_thread.join();
    CloseAll();
    CloseFd(m_listener);
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
}

void TcpRelay::GoAway() { SetMode(Mode::Gone); }
void TcpRelay::Silence() { SetMode(Mode::Silent); }
void TcpRelay::ComeBack() { SetMode(Mode::Relaying); }

void TcpRelay::SetMode(Mode mode) {
    std::unique_lock lock(m_guard);
    m_mode = mode;
    const char byte = 1;
    if (::write(m_wake[1], &byte, 1) != 1) return;
    m_changed.wait(lock, [&] { return m_applied == mode; });
}

void TcpRelay::Listen() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0) return;
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address = Loopback(m_port);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listener, 16) != 0) {
        CloseFd(m_listener);
    }
}

void TcpRelay::CloseAll() {
    for (auto& [client, server] : m_pairs) {
        CloseFd(client);
        CloseFd(server);
    }
    m_pairs.clear();
}

void TcpRelay::Accept() {
    int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    // A silent server takes the connection and never answers.
    int server = m_applied == Mode::Silent ? -1 : ConnectTo(m_targetPort);
    if (m_applied != Mode::Silent && server < 0) {
        CloseFd(client);
        return;
    }
    m_pairs.emplace_back(client, server);
}

bool TcpRelay::Copy(int from, int to) {
    std::array<char, 64 * 1024> buffer;
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got <= 0) return false;
    for (ssize_t sent = 0; sent < got;) {
        const ssize_t n = ::write(to, buffer.data() + sent, static_cast<size_t>(got - sent));
        if (n <= 0) return false;
        sent += n;
    }
    return true;
}

void TcpRelay::Run() {
    for (;;) {
        {
            std::lock_guard lock(m_guard);
            if (m_mode != m_applied) {
                if (m_mode == Mode::Gone || m_mode == Mode::Stopped) {
                    CloseAll();
                    CloseFd(m_listener);
                } else if (m_mode == Mode::Relaying) {
                    // Connections held while silent are dropped; new ones are relayed.
                    CloseAll();
                    if (m_listener < 0) Listen();
                }
                m_applied = m_mode;
                m_changed.notify_all();
            }
            if (m_applied == Mode::Stopped) return;
        }
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}};
        if (m_listener >= 0) fds.push_back({m_listener, POLLIN, 0});
        const std::size_t firstPair = fds.size();
        if (m_applied == Mode::Relaying) {
            for (const auto& [client, server] : m_pairs) {
                fds.push_back({client, POLLIN, 0});
                fds.push_back({server, POLLIN, 0});
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents != 0) {
            char bytes[16];
            if (::read(m_wake[0], bytes, sizeof(bytes)) < 0) continue;
        }
        if (m_listener >= 0 && fds[1].revents != 0) Accept();
        for (std::size_t i = firstPair, pair = 0; i + 1 < fds.size() && pair < m_pairs.size(); i += 2, ++pair) {
            auto& [client, server] = m_pairs[pair];
            bool alive = true;
            if (fds[i].revents != 0) alive = Copy(client, server);
            if (alive && fds[i + 1].revents != 0) alive = Copy(server, client);
            if (!alive) {
                CloseFd(client);
                CloseFd(server);
            }
        }
        std::erase_if(m_pairs, [](const auto& pair) { return pair.first < 0; });
    }
}

}  // namespace qel::test
