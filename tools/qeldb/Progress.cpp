#include "tools/qeldb/Progress.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include <fmt/core.h>

namespace {

constexpr int kBarWidth = 30;

// How long a phase runs before it is shown.
std::chrono::milliseconds ShowPhasesAfter() {
    if (const char* text = std::getenv("QEL_PROGRESS_AFTER_MS"); text != nullptr && *text != '\0') {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (*end == '\0' && value >= 0) return std::chrono::milliseconds(value);
    }
    return std::chrono::milliseconds(1000);
}

}  // namespace

Progress::Progress(std::string label, long total)
    : m_label(std::move(label)), m_total(total), m_terminal(::isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { Finish(); }

void Progress::Advance(long steps) {
    m_done += steps;
    Draw();
}

void Progress::Draw() {
    if (m_total <= 0) return;
    const long percent = m_done >= m_total ? 100 : m_done * 100 / m_total;
    if (m_terminal) {
        if (percent == m_shown) return;
        m_shown = static_cast<int>(percent);
        const int filled = static_cast<int>(percent * kBarWidth / 100);
        fmt::print(stderr, "\r{} [{}{}] {:3}% ({} of {})", m_label, std::string(static_cast<size_t>(filled), '#'),
                   std::string(static_cast<size_t>(kBarWidth - filled), ' '), percent, m_done, m_total);
        std::fflush(stderr);
        return;
    }
    const int tenth = static_cast<int>(percent / 10);
    if (tenth == m_shown || tenth == 0) return;
    m_shown = tenth;
    fmt::print(stderr, "{}: {}% ({} of {})\n", m_label, tenth * 10, m_done, m_total);
}

void Progress::Finish() {
    if (m_finished) return;
    m_finished = true;
    if (m_terminal && m_shown >= 0) fmt::print(stderr, "\n");
}

Phase::Phase(std::string label, bool enabled) : m_label(std::move(label)), m_started(std::chrono::steady_clock::now()) {
    if (enabled && ::isatty(STDERR_FILENO) == 1) m_ticker = std::thread([this] { Tick(); });
}

Phase::~Phase() {
    if (!m_ticker.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_wake.notify_all();
    m_ticker.join();
    // Also a phase that ended before the ticker could show it, when it ran
    // as long as a shown phase does.
    const auto elapsed = std::chrono::steady_clock::now() - m_started;
    if (m_shown || elapsed >= ShowPhasesAfter())
        fmt::print(stderr, "\r{} … done in {:.1f} s\n", m_label, std::chrono::duration<double>(elapsed).count());
}

void Phase::Tick() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_for(lock, ShowPhasesAfter(), [this] { return m_done; })) return;
    do {
        m_shown = true;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        fmt::print(stderr, "\r{} … {:.1f} s", m_label, seconds);
        std::fflush(stderr);
    } while (!m_wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return m_done; }));
}
