#include "tools/qeldb/Failure.h"

#include <fmt/core.h>

#include <qel/database/ErrorCodes.h>
#include <qel/outside/Log.h>

namespace {

// The program's own report goes into the log as well: the component logs
// only what it detected itself, and the log named below must hold the
// failure it is pointed to for.
void PrintCauseAndLog(FILE* out, const std::string& report) {
    if (const std::string cause = qel::outside::LastFailureCause(); !cause.empty())
        fmt::print(out, "  cause: {}\n", cause);
    {
        const qel::outside::FailureCauseKeeper keep;
        qel::outside::LogWarning("qeldb: " + report);
    }
    const std::string log = qel::outside::LogFilePath();
    fmt::print(out, "  log: {}\n", log.empty() ? "standard error (no log location: HOME is not set)" : log);
}

}  // namespace

std::string FailureSummary(CDatabaseObj& db, std::string_view what) {
    const LONG code = db.GetLErrorCode();
    std::string text = fmt::format("{} (lErrorCode {}: {})", what, code, qel::database::ErrorText(code));
    if (const std::string detail = db.GetMemberStrError(); !detail.empty()) text += ": " + detail;
    return text;
}

void PrintFailure(FILE* out, std::string_view what, CDatabaseObj& db) {
    const std::string report = FailureSummary(db, what);
    fmt::print(out, "{}\n", report);
    PrintCauseAndLog(out, report);
}

void PrintFailure(FILE* out, std::string_view what) {
    fmt::print(out, "{}\n", what);
    PrintCauseAndLog(out, std::string(what));
}
