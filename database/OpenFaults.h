// Fault injection for the steps of opening a database, so tests can make any
// step fail and check that nothing the open acquired survives. Production
// code never injects; each injected fault fails the next `times` passes
// through its step.
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

QEL_API void InjectOpenFault(OpenFault fault, int times = 1);
QEL_API void ClearOpenFaults();
// Whether the step fails this time (consumes one injected failure).
QEL_API bool OpenFaultHit(OpenFault fault);

}  // namespace qel::database
