// Collects what the platform layer reports through the diagnostic sink while
// the object lives, so tests can count reports or keep a run quiet.
#pragma once

#include <qel/platform/Diagnostics.h>

#include <mutex>
#include <string>
#include <vector>

namespace qel::test {

class CapturedDiagnostics {
public:
    CapturedDiagnostics() {
        qel::platform::SetDiagnosticSink([this](qel::platform::Severity, const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_messages.push_back(text);
        });
    }
    ~CapturedDiagnostics() { qel::platform::SetDiagnosticSink({}); }

    std::vector<std::string> Messages() {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    // Reports containing `part`.
    std::size_t Count(const std::string& part) {
        std::size_t n = 0;
        for (const auto& m : Messages()) n += m.find(part) != std::string::npos;
        return n;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_messages;
};

}  // namespace qel::test
