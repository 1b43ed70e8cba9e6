#include "support/Workstation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "support/Sandbox.h"

extern char** environ;

namespace fs = std::filesystem;

namespace qel::test {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

}  // namespace

Workstation::Workstation(const fs::path& root, const std::string& name) : m_name(name), m_folder(root / name) {
    for (const char* dir : {"config", "state", "runtime", "data", "odbc", "logs"}) fs::create_directories(m_folder / dir);
    fs::permissions(m_folder / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    CopyDriverList((m_folder / "odbc/odbcinst.ini").string());

    const auto in = [this](const char* relative) { return (m_folder / relative).string(); };
    m_variables = {
        {"QEL_REGISTRY_FILE", in("registry.reg")},
        {"QEL_LOG_DIR", in("logs")},
        {"QEL_RUNTIME_DIR", in("runtime")},
        {"QEL_DATA_DIR", in("data")},
        {"XDG_CONFIG_HOME", in("config")},
        {"XDG_STATE_HOME", in("state")},
        {"XDG_RUNTIME_DIR", in("runtime")},
        {"XDG_DATA_HOME", in("data")},
        {"ODBCINI", in("odbc/odbc.ini")},
        {"ODBCSYSINI", in("odbc")},
    };
}

void Workstation::SetVariable(const std::string& name, const std::string& value) {
    for (auto& [key, current] : m_variables) {
        if (key == name) {
            current = value;
            return;
        }
    }
    m_variables.emplace_back(name, value);
}

void Workstation::ShareRuntimeFolderOf(const Workstation& other) {
    const std::string runtime = (other.m_folder / "runtime").string();
    SetVariable("QEL_RUNTIME_DIR", runtime);
    SetVariable("XDG_RUNTIME_DIR", runtime);
}

std::vector<std::string> Workstation::Environment() const {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& variable : m_variables) replaced = replaced || variable.first == name;
        if (!replaced) result.push_back(text);
    }
    for (const auto& [name, value] : m_variables) result.push_back(name + "=" + value);
    return result;
}

WorkstationProcess Workstation::Start(const std::string& program, const std::vector<std::string>& arguments) const {
    // A workstation that died must not take the caller down with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);

    // Everything the child needs is built before the fork: only
    // async-signal-safe calls happen between fork and exec.
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const std::vector<std::string> env = Environment();
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    // Close-on-exec, so that no other workstation inherits these ends and
    // keeps a shell's input open after its owner closed it.
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) Fail("pipe");
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        Fail("pipe");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(toChild[0], STDIN_FILENO);
        ::dup2(fromChild[1], STDOUT_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (pid < 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        Fail("fork");
    }
    return WorkstationProcess(pid, toChild[1], fromChild[0]);
}

WorkstationProcess::WorkstationProcess(pid_t pid, int input, int output)
    : m_pid(pid), m_input(input), m_output(output) {}

WorkstationProcess::WorkstationProcess(WorkstationProcess&& other) noexcept
    : m_pid(other.m_pid), m_input(other.m_input), m_output(other.m_output), m_buffer(std::move(other.m_buffer)) {
    other.m_pid = -1;
    other.m_input = -1;
    other.m_output = -1;
}

WorkstationProcess::~WorkstationProcess() {
    if (m_pid > 0) Finish();
    if (m_output >= 0) ::close(m_output);
}

void WorkstationProcess::Post(const std::string& command) {
    const std::string line = command + "\n";
    size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(m_input, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("writing to workstation");
        written += static_cast<size_t>(n);
    }
}

std::string WorkstationProcess::Receive() {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    for (;;) {
        const auto end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw std::runtime_error("no answer from the workstation in time");
        pollfd fd{m_output, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) Fail("waiting for the workstation");
        if (ready == 0) continue;
        char chunk[4096];
        const ssize_t n = ::read(m_output, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("the workstation ended without answering");
        m_buffer.append(chunk, static_cast<size_t>(n));
    }
}

void WorkstationProcess::CloseInput() {
    if (m_input >= 0) ::close(m_input);
    m_input = -1;
}

int WorkstationProcess::Finish() {
    CloseInput();
    if (m_pid <= 0) return -1;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    pid_t done = 0;
    while ((done = ::waitpid(m_pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        status = -1;
    }
    m_pid = -1;
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace qel::test
