// Start-up of the general library: the host calls GeneralLibDLLInit once
// during its initialisation, before the first log record. It resolves the log
// file and makes the log the sink of the platform layer's diagnostics.
// Calling it again does nothing more.
#pragma once

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

QEL_API BOOL GeneralLibDLLInit();
