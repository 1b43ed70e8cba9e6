// CDatabaseApp: the component's application object, one per process,
// constructed when the library is loaded. Its InitInstance gives the platform
// layer the application's names (the profile at "Software\Talveni\Quorva",
// the per-user folders), registers the class factories with the process and
// starts the general library (the log).
//
// Nothing needs to call it: loading libqeldb runs it once. theApp() gives
// the object to code that wants its names.
#pragma once

#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class QEL_API CDatabaseApp {
public:
    explicit CDatabaseApp(const char* appName);
    CDatabaseApp(const CDatabaseApp&) = delete;
    CDatabaseApp& operator=(const CDatabaseApp&) = delete;

    BOOL InitInstance();
    // "Quorva".
    const std::string& AppName() const { return m_appName; }
    // The registry key SetRegistryKey chose ("Talveni"); empty before.
    const std::string& RegistryKey() const { return m_registryKey; }
    // TRUE once InitInstance has run.
    BOOL IsInitialised() const { return m_bInitialised; }

private:
    void SetRegistryKey(const char* key);

    std::string m_appName;
    std::string m_registryKey;
    BOOL m_bInitialised = FALSE;
};

// The process's application object.
QEL_API CDatabaseApp& theApp();
