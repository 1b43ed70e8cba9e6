// A TCP relay in the test process, standing between a client and a server
// (the shared PostgreSQL test server) so a test can take the server away
// from its own connections only:
//
//   TcpRelay relay(serverPort);         // listens on 127.0.0.1:relay.Port()
//   ... connect to relay.Port() ...
//   relay.GoAway();     // every connection closed, new ones refused
//   relay.Silence();    // connections stay open, no byte goes through
//   relay.ComeBack();   // relays new connections again, on the same port
//
// One thread accepts and copies bytes both ways; the calls change its mode
// and return once the relay thread acted on it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qel::test {

class TcpRelay {
public:
    explicit TcpRelay(int targetPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int Port() const { return m_port; }
    // Whether the listening socket is up (false when the port could not be taken).
    bool Listening() const { return m_listener >= 0; }

    void GoAway();
    void Silence();
    void ComeBack();

private:
    enum class Mode { Relaying, Silent, Gone, Stopped };

    void SetMode(Mode mode);
    void Run();
    void Listen();
    void CloseAll();
    void Accept();
    // Copies what `from` has to `to`; false when either side is finished.
    static bool Copy(int from, int to);

    int m_targetPort;
    int m_port = 0;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    std::vector<std::pair<int, int>> m_pairs;  // client, server (-1 while silent)

    std::mutex m_guard;
    std::condition_variable m_changed;
    Mode m_mode = Mode::Relaying;
    Mode m_applied = Mode::Relaying;
    std::thread m_thread;
};

}  // namespace qel::test
