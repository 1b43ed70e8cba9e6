#include <qel/frame/ObjectFactory.h>

#include <qel/database/DatabaseObj.h>
#include <qel/database/ImageMediaTypeObject.h>
#include <qel/outside/DefaultAppServer.h>
#include <qel/outside/QELServer.h>
#include <qel/outside/drivers/ImageMediaType.h>
#include <qel/platform/ClassRegistry.h>
#include <qel/platform/ComActivation.h>

namespace {

IUnknown* CreateImageMediaType() { return CreateImageMediaTypeObject(); }

IUnknown* CreateDefaultServer() {
    IUnknown* server = nullptr;
    qel::outside::CreateDefaultAppServer(IID_IUnknown, reinterpret_cast<void**>(&server));
    return server;
}

const CRuntimeClass kImageMediaTypeClass = {"CImageMediaTypeObject", &CreateImageMediaType};
const CRuntimeClass kDefaultServerClass = {"CDefaultAppServer", &CreateDefaultServer};

}  // namespace

COleObjectFactory::COleObjectFactory(REFCLSID clsid, const CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                                     const char* progId)
    : m_clsid(clsid), m_pRuntimeClass(pRuntimeClass), m_bMultiInstance(bMultiInstance), m_progId(progId) {}

HRESULT COleObjectFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// A factory lives as long as the library.
ULONG COleObjectFactory::AddRef() { return 2; }
ULONG COleObjectFactory::Release() { return 1; }

HRESULT COleObjectFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    IUnknown* object = m_pRuntimeClass->m_pfnCreateObject();
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();  // the creation reference; QueryInterface holds the caller's
    return hr;
}

HRESULT COleObjectFactory::LockServer(BOOL fLock) {
    if (fLock) {
        AfxOleLockApp();
    } else {
        AfxOleUnlockApp();
    }
    return S_OK;
}

const std::vector<COleObjectFactory*>& COleObjectFactory::All() {
    static COleObjectFactory database(CDatabaseObj::guid, CDatabaseObj::GetThisClass(), FALSE, "QEL.Database");
    static COleObjectFactory mediaType(CLSID_ImageMediaTypeObject, &kImageMediaTypeClass, FALSE,
                                       "QEL.ImageMediaType");
    static COleObjectFactory server(CLSID_QELServer, &kDefaultServerClass, FALSE, "QEL.DefaultServer");
    static const std::vector<COleObjectFactory*> all = {&database, &mediaType, &server};
    return all;
}

BOOL COleObjectFactory::RegisterAll() {
    for (COleObjectFactory* factory : All()) {
        qel::platform::RegisterClassFactoryIfAbsent(factory->m_clsid, [factory](REFIID riid, void** ppv) {
            return factory->CreateInstance(nullptr, riid, ppv);
        });
    }
    return TRUE;
}

BOOL COleObjectFactory::UpdateRegistryAll(BOOL bRegister) {
    if (!bRegister) return TRUE;  // there is no unregistration
    const std::string library = qel::platform::ModuleOfAddress(reinterpret_cast<const void*>(&AfxDllGetClassObject));
    if (library.empty()) return FALSE;
    BOOL ok = TRUE;
    for (const COleObjectFactory* factory : All()) {
        if (!qel::platform::RegisterInprocServer(factory->m_clsid, factory->m_progId,
                                                 factory->m_pRuntimeClass->m_lpszClassName, library)) {
            ok = FALSE;
        }
    }
    return ok;
}

HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (COleObjectFactory* factory : COleObjectFactory::All()) {
        if (factory->GetClassID() == rclsid) return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT AfxDllCanUnloadNow() { return AfxOleLockCount() == 0 ? S_OK : S_FALSE; }
