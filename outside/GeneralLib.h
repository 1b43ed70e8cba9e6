// Start-up of the general library: the component's application object calls
// GeneralLibDLLInit while the library loads. It makes the log the sink of the
// platform layer's diagnostics; the log file itself is looked up on the first
// record, so a host may still set QEL_LOG_DIR after loading the library.
// Calling it again does nothing more.
#pragma once

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

QEL_API BOOL GeneralLibDLLInit();
