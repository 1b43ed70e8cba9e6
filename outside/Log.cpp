#include <qel/outside/Log.h>

#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

#include <qel/outside/LogInternal.h>
#include <qel/platform/Diagnostics.h>
#include <qel/platform/UserFolders.h>

namespace fs = std::filesystem;

namespace qel::outside {

namespace {

const char* NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : nullptr;
}

std::string ResolveLogPath() {
    if (const char* file = NonEmptyVariable("QEL_LOG_FILE")) return file;
    if (const char* dir = NonEmptyVariable("QEL_LOG_DIR")) return (fs::path(dir) / "qeldb.log").string();
    const std::string folder = qel::platform::ApplicationFolder("XDG_STATE_HOME", ".local/state");
    return folder.empty() ? std::string() : (fs::path(folder) / "qeldb.log").string();
}

// One record is one line: line breaks in free text would split it.
std::string OneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Module names are single words in the record; blanks would break parsing.
std::string Word(const char* text) {
    if (text == nullptr || *text == '\0') return "?";
    std::string out(text);
    for (char& c : out) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = '_';
    }
    return out;
}

void LogErrorText(const std::string& text);

// Per thread: the database object is apartment-threaded, and a cause must not
// cross over to another thread's failure.
thread_local std::string t_failureCause;

void RememberCause(const std::string& text) noexcept {
    try {
        t_failureCause = text;
    } catch (...) {
    }
}

class LogState {
public:
    LogState() {
        // Touching the sink here orders the platform's sink storage before
        // this object, so it still exists when the destructor resets it.
        platform::SetDiagnosticSink({});
    }
    ~LogState() {
        if (m_sinkInstalled) platform::SetDiagnosticSink({});
    }
    LogState(const LogState&) = delete;
    LogState& operator=(const LogState&) = delete;

    std::shared_ptr<spdlog::logger> Logger() {
        std::lock_guard lock(m_mutex);
        InstallSinkLocked();
        if (!m_logger) m_logger = OpenLocked();
        return m_logger;
    }

    std::string Path() {
        std::lock_guard lock(m_mutex);
        InstallSinkLocked();
        return PathLocked();
    }

    // The file is looked up on the first record, not here: the library
    // initialises while it loads, before a host (or a test) has chosen its
    // QEL_LOG_DIR.
    void Initialise() {
        std::lock_guard lock(m_mutex);
        InstallSinkLocked();
    }

    void Reset() {
        std::lock_guard lock(m_mutex);
        if (m_logger) m_logger->flush();
        m_logger.reset();
        m_pathResolved = false;
        m_path.clear();
    }

private:
    const std::string& PathLocked() {
        if (!m_pathResolved) {
            m_path = ResolveLogPath();
            m_pathResolved = true;
        }
        return m_path;
    }

    void InstallSinkLocked() {
        if (m_sinkInstalled) return;
        platform::SetDiagnosticSink([](platform::Severity severity, const std::string& text) {
            switch (severity) {
                case platform::Severity::Info: LogInfo(text); break;
                case platform::Severity::Warning: LogWarning(text); break;
                case platform::Severity::Error: LogErrorText(text); break;
            }
        });
        m_sinkInstalled = true;
    }

    std::shared_ptr<spdlog::logger> OpenLocked() {
        const std::string& path = PathLocked();
        spdlog::sink_ptr sink;
        std::string reason = "no log location (HOME is not set)";
        if (!path.empty()) {
            std::error_code ec;
            const fs::path parent = fs::path(path).parent_path();
            if (!parent.empty()) fs::create_directories(parent, ec);
            try {
                sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path);
            } catch (const std::exception& e) {
                reason = e.what();
            }
        }
        if (!sink) {
            std::fprintf(stderr, "qeldb: cannot write the log file \"%s\" (%s); log records go to standard error\n",
                         path.c_str(), reason.c_str());
            sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
        }
        auto logger = std::make_shared<spdlog::logger>("qeldb", std::move(sink));
        logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %v");
        logger->set_level(spdlog::level::trace);
        logger->flush_on(spdlog::level::warn);
        logger->set_error_handler([reported = false](const std::string& message) mutable {
            if (reported) return;  // a full disk must not flood standard error
            reported = true;
            std::fprintf(stderr, "qeldb: writing the log failed: %s\n", message.c_str());
        });
        return logger;
    }

    std::mutex m_mutex;
    std::shared_ptr<spdlog::logger> m_logger;
    std::string m_path;
    bool m_pathResolved = false;
    bool m_sinkInstalled = false;
};

LogState& State() {
    static LogState state;
    return state;
}

// Error and check records are flushed at once (level warn and above); a
// crash right after a failure must not lose its record.
void Write(spdlog::level::level_enum level, const std::string& record) noexcept {
    try {
        if (auto logger = State().Logger()) {
            logger->log(level, spdlog::string_view_t(record.data(), record.size()));
        }
    } catch (...) {
        // Logging is fire and forget: a failure here must not reach the caller.
    }
}

std::string Prefix(const char* kind) { return std::string(kind) + " pid=" + std::to_string(::getpid()); }

void LogErrorText(const std::string& text) {
    RememberCause(text);
    try {
        Write(spdlog::level::err, Prefix("ERROR") + " text=" + OneLine(text));
    } catch (...) {
    }
}

}  // namespace

void InitialiseLog() {
    try {
        State().Initialise();
    } catch (...) {
    }
}

void LogInfo(const std::string& text) {
    try {
        Write(spdlog::level::info, Prefix("INFO") + " text=" + OneLine(text));
    } catch (...) {
    }
}

void LogWarning(const std::string& text) {
    RememberCause(text);
    try {
        Write(spdlog::level::warn, Prefix("WARNING") + " text=" + OneLine(text));
    } catch (...) {
    }
}

std::string LogFilePath() {
    try {
        return State().Path();
    } catch (...) {
        return {};
    }
}

std::string LastFailureCause() {
    try {
        return t_failureCause;
    } catch (...) {
        return {};
    }
}

void ForgetFailureCause() { t_failureCause.clear(); }

FailureCauseKeeper::FailureCauseKeeper() : m_saved(LastFailureCause()) {}

FailureCauseKeeper::~FailureCauseKeeper() { t_failureCause.swap(m_saved); }

void ResetLog() {
    try {
        State().Reset();
    } catch (...) {
    }
}

}  // namespace qel::outside

void WriteLogError(LONG code, const char* module, int line, const char* buildTime) {
    using namespace qel::outside;
    try {
        Write(spdlog::level::err, Prefix("ERROR") + " code=" + std::to_string(code) + " module=" + Word(module) +
                                      " line=" + std::to_string(line) + " build=" + OneLine(buildTime ? buildTime : "?"));
    } catch (...) {
    }
}

void WriteLogCheck(const char* module, int line, const char* buildTime) {
    using namespace qel::outside;
    try {
        Write(spdlog::level::warn, Prefix("CHECK") + " code=- module=" + Word(module) + " line=" +
                                       std::to_string(line) + " build=" + OneLine(buildTime ? buildTime : "?"));
    } catch (...) {
    }
}
