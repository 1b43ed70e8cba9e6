#include <qel/frame/DatabaseApp.h>

#include <qel/frame/ObjectFactory.h>
#include <qel/outside/GeneralLib.h>
#include <qel/platform/ApplicationIdentity.h>

CDatabaseApp::CDatabaseApp(const char* appName) : m_appName(appName) {}

// The platform layer files the user's settings under the names it is given
// here: Software\Talveni\Quorva in the registry, ~/.config/talveni, the
// mutex folder "qel"; its diagnostics on standard error are signed "qeldb".
void CDatabaseApp::SetRegistryKey(const char* key) {
    m_registryKey = key;
    qel::platform::SetApplicationIdentity({.vendor = m_registryKey,
                                           .application = m_appName,
                                           .folder = "talveni",
                                           .runtimeFolder = "qel",
                                           .program = "qeldb"});
}

BOOL CDatabaseApp::InitInstance() {
    SetRegistryKey("Talveni");
    COleObjectFactory::RegisterAll();
    GeneralLibDLLInit();
    m_bInitialised = TRUE;
    return TRUE;
}

CDatabaseApp& theApp() {
    static CDatabaseApp app("Quorva");
    return app;
}

namespace {

// Runs when the library is loaded, as the application object's start-up
// runs when a server library is attached to a process.
[[maybe_unused]] const BOOL g_initialised = theApp().InitInstance();

}  // namespace
