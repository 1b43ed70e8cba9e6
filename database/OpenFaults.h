// Fault injection for the steps of opening a database, so tests can make any
// step fail and check that nothing the open acquired survives. Only builds
// with the tests define QEL_FAULT_INJECTION and export the counters; each
// injected fault fails the next `times` passes through its step. The header
// is not installed.
#pragma once

#include <qel/platform/Export.h>

namespace qel::database {

enum class OpenFault {
    ServerCreation,         // the application server object cannot be created
    WindowCreation,         // the callback window cannot be created
    DataSourcePreparation,  // the data source cannot be prepared
    ConnectReturnsFalse,    // the connection's Open answers FALSE
    ConnectThrows,          // the connection's Open throws a database exception
    ReRegistration,         // registering the data source again fails
    SchemaCheck,            // the schema check or upgrade fails
    SettingsRestore,        // restoring the database parameters fails
    Notification,           // the opened notification fails
};

#if defined(QEL_FAULT_INJECTION)
QEL_API void InjectOpenFault(OpenFault fault, int times = 1);
QEL_API void ClearOpenFaults();
// Whether the step fails this time (consumes one injected failure).
QEL_API bool OpenFaultHit(OpenFault fault);
#else
// Builds without the tests carry no fault points: every step runs.
constexpr bool OpenFaultHit(OpenFault) { return false; }
#endif

}  // namespace qel::database
