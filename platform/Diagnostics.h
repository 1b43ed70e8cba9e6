// How the platform layer reports problems it recovers from (a registry line
// that cannot be parsed, a headless message box). The general library's log
// installs itself as the sink at start-up; until then, and in programs that
// never start it, reports go to standard error.
#pragma once

#include <functional>
#include <string>

#include <qel/platform/Export.h>

namespace qel::platform {

enum class Severity { Info, Warning, Error };

using DiagnosticSink = std::function<void(Severity, const std::string&)>;

QEL_API void ReportDiagnostic(Severity severity, const std::string& text);
// Installs the sink; an empty function restores standard error.
QEL_API void SetDiagnosticSink(DiagnosticSink sink);

}  // namespace qel::platform
