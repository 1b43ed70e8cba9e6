#include "tools/qeldb/Progress.h"

#include <cstdio>

#include <unistd.h>

#include <fmt/core.h>

namespace {

constexpr int kBarWidth = 30;

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
