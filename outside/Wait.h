// The general library's pause: CWait(seconds).Wait() sleeps the calling
// thread, as the retry loops between their attempts do.
//
// Every pause is multiplied by the factor in the environment variable
// QEL_WAIT_SCALE (default 1.0, read at each Wait), so tests of retry loops can
// run fast: QEL_WAIT_SCALE=0 makes every pause return at once. A factor that
// is not a non-negative number is ignored (1.0). Negative, NaN or zero
// seconds give no pause; a pause is capped at one hour.
//
// The pause is a plain sleep: it does not pump the thread's message queue.
#pragma once

#include <chrono>

#include <qel/platform/Export.h>

class QEL_API CWait {
public:
    explicit CWait(double seconds);

    // Sleeps for Duration().
    void Wait() const;
    // The pause Wait() would make now: seconds times QEL_WAIT_SCALE, clamped.
    std::chrono::nanoseconds Duration() const;

    double Seconds() const { return m_seconds; }

private:
    double m_seconds;
};
