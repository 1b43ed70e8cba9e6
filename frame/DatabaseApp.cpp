#include <qel/frame/DatabaseApp.h>

#include <qel/frame/ObjectFactory.h>
#include <qel/outside/GeneralLib.h>
#include <qel/platform/AppProfile.h>

CDatabaseApp::CDatabaseApp(const char* appName) : m_appName(appName) {}

void CDatabaseApp::SetRegistryKey(const char* key) {
    m_registryKey = key;
    qel::platform::AppProfile& profile = qel::platform::AppProfile::Current();
    profile.SetRegistryKey(m_registryKey);
    profile.SetAppName(m_appName);
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
