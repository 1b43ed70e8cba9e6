// The in-process server's exported entry points, found by name (dlsym) by
// clients that load the library: see platform/ComActivation.h.
#include <qel/frame/EntryPoints.h>

#include <qel/frame/ObjectFactory.h>

extern "C" {

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) { return AfxDllGetClassObject(rclsid, riid, ppv); }

HRESULT DllCanUnloadNow() { return AfxDllCanUnloadNow(); }

HRESULT DllRegisterServer() {
    // Registration is best effort: the entries that could be written help.
    COleObjectFactory::UpdateRegistryAll(TRUE);
    return S_OK;
}

}  // extern "C"
