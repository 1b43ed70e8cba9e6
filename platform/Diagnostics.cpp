#include <qel/platform/Diagnostics.h>

#include <qel/platform/ApplicationIdentity.h>

#include <cstdio>
#include <mutex>

namespace qel::platform {

namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

DiagnosticSink& Sink() {
    static DiagnosticSink sink;
    return sink;
}

const char* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::Info: return "info";
        case Severity::Warning: return "warning";
        case Severity::Error: return "error";
    }
    return "?";
}

}  // namespace

void ReportDiagnostic(Severity severity, const std::string& text) {
    DiagnosticSink sink;
    {
        std::lock_guard lock(SinkMutex());
        sink = Sink();
    }
    if (sink) {
        try {
            sink(severity, text);
            return;
        } catch (...) {
            // A failing sink must not take the caller down; fall back below.
        }
    }
    const std::string program = CurrentApplicationIdentity().program;
    std::fprintf(stderr, "%s%s%s: %s\n", program.c_str(), program.empty() ? "" : " ", SeverityName(severity),
                 text.c_str());
}

void SetDiagnosticSink(DiagnosticSink sink) {
    std::lock_guard lock(SinkMutex());
    Sink() = std::move(sink);
}

}  // namespace qel::platform
