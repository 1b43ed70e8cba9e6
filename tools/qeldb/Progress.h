// Progress of a long loop on stderr: a bar redrawn in place when stderr is
// a terminal, otherwise one line at every tenth of the work (so logs and
// pipes get a few readable lines, not a stream of carriage returns).
//
//   Progress progress("writing patients", total);
//   for (...) { ...; progress.Advance(); }
//   progress.Finish();
//
// A phase whose length cannot be counted (opening, checking, committing)
// shows the time it has taken instead, at a terminal only and only once it
// has run for a second (QEL_PROGRESS_AFTER_MS), so short phases stay quiet:
//
//   { Phase phase("opening the database"); db.Open2(FALSE); }
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Progress {
public:
    Progress(std::string label, long total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Advance(long steps = 1);
    // Ends the bar's line; called by the destructor when not called before.
    void Finish();

private:
    void Draw();

    std::string m_label;
    long m_total;
    long m_done = 0;
    int m_shown = -1;  // last percentage (terminal) or tenth (lines) shown
    bool m_terminal;
    bool m_finished = false;
};

class Phase {
public:
    explicit Phase(std::string label, bool enabled = true);
    ~Phase();
    Phase(const Phase&) = delete;
    Phase& operator=(const Phase&) = delete;

private:
    void Tick();

    std::string m_label;
    std::chrono::steady_clock::time_point m_started;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_shown = false;
    std::thread m_ticker;
};
