// The component's log: error records where a failure is detected
// (WriteLogError) and trace records where a nested failure is passed on
// (WriteLogCheck). Each record carries the time, the code, the module
// ("DatabaseObj", "DatabaseCallbackWnd"), the line and the build time.
//
// The file is $QEL_LOG_FILE, else $QEL_LOG_DIR/qeldb.log, else
// $XDG_STATE_HOME/talveni/qeldb.log (~/.local/state/talveni/qeldb.log).
// Writing never throws and never blocks the caller for long: records go
// through an spdlog file sink that is flushed on every error record.
#pragma once

#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

QEL_API void WriteLogError(LONG code, const char* module, int line, const char* buildTime);
QEL_API void WriteLogCheck(const char* module, int line, const char* buildTime);

namespace qel::outside {

// Free-text records of the component and the platform layer (parse problems
// of a registry file, a headless message box, ...). Never throws.
QEL_API void LogInfo(const std::string& text);
QEL_API void LogWarning(const std::string& text);

// The cause behind the calling thread's last failure: the text of the last
// warning or error record the thread wrote since ForgetFailureCause (the
// driver's message, the system's error text, the path). Empty when none was
// written. Lets a program say why an operation failed, not only its code.
QEL_API std::string LastFailureCause();
// Forgets the thread's cause; the database object calls it whenever it
// clears its error state, so a cause always belongs to the current operation.
QEL_API void ForgetFailureCause();

// Keeps the thread's failure cause as it was for its life: the clean-up
// after a failure logs warnings of its own, which are not the cause.
class QEL_API FailureCauseKeeper {
public:
    FailureCauseKeeper();
    ~FailureCauseKeeper();
    FailureCauseKeeper(const FailureCauseKeeper&) = delete;
    FailureCauseKeeper& operator=(const FailureCauseKeeper&) = delete;

private:
    std::string m_saved;
};

// The file records go to (resolved from the environment on first use).
QEL_API std::string LogFilePath();
// Flushes and closes the log; the next record reopens it (tests re-point it).
QEL_API void ResetLog();

}  // namespace qel::outside
