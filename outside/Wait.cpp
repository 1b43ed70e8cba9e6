#include <qel/outside/Wait.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include <qel/platform/Diagnostics.h>

namespace {

constexpr double kMaxSeconds = 3600.0;

double WaitScale() {
    const char* value = std::getenv("QEL_WAIT_SCALE");
    if (value == nullptr || *value == '\0') return 1.0;
    char* end = nullptr;
    const double scale = std::strtod(value, &end);
    if (*end == '\0' && scale >= 0.0 && std::isfinite(scale)) return scale;
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) {
        qel::platform::ReportDiagnostic(qel::platform::Severity::Warning,
                                        std::string("QEL_WAIT_SCALE \"") + value + "\" is not a factor; using 1.0");
    }
    return 1.0;
}

}  // namespace

CWait::CWait(double seconds) : m_seconds(seconds) {}

std::chrono::nanoseconds CWait::Duration() const {
    // Written so that NaN fails the test too.
    if (!(m_seconds > 0.0)) return std::chrono::nanoseconds::zero();
    double seconds = m_seconds * WaitScale();
    if (!(seconds > 0.0)) return std::chrono::nanoseconds::zero();
    if (seconds > kMaxSeconds) seconds = kMaxSeconds;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
}

void CWait::Wait() const {
    const std::chrono::nanoseconds pause = Duration();
    if (pause > std::chrono::nanoseconds::zero()) std::this_thread::sleep_for(pause);
}
