// Progress of a long loop on stderr: a bar redrawn in place when stderr is
// a terminal, otherwise one line at every tenth of the work (so logs and
// pipes get a few readable lines, not a stream of carriage returns).
//
//   Progress progress("writing patients", total);
//   for (...) { ...; progress.Advance(); }
//   progress.Finish();
#pragma once

#include <string>

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
