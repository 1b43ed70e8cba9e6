// COleObjectFactory: the class factory of one creatable class of the
// component, and the list of all of them that the library's entry points
// serve.
//
// Each factory knows its class identifier, its ProgID, the class's run-time
// class record and a function that creates one object and returns its
// IUnknown with one reference. RegisterAll makes every factory known to the
// process's class registry (so in-process code creates objects with
// qel::platform::CreateInstance); UpdateRegistryAll writes the registration
// entries that let a client find the library by ProgID; the static
// AfxDllGetClassObject and AfxDllCanUnloadNow answer DllGetClassObject and
// DllCanUnloadNow.
//
// Factories live as long as the library: their reference count never frees
// them. LockServer(TRUE) takes an application lock (AfxOleLockApp).
#pragma once

#include <string>
#include <vector>

#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

// The run-time class record of a class: its name and how to create one.
struct CRuntimeClass {
    const char* m_lpszClassName;
    // A new object's IUnknown with one reference; null when out of memory.
    IUnknown* (*m_pfnCreateObject)();
};

class QEL_API COleObjectFactory final : public IClassFactory {
public:
    // bMultiInstance is kept for the record; an in-process server has one
    // instance per process whatever it says.
    COleObjectFactory(REFCLSID clsid, const CRuntimeClass* pRuntimeClass, BOOL bMultiInstance, const char* progId);
    COleObjectFactory(const COleObjectFactory&) = delete;
    COleObjectFactory& operator=(const COleObjectFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

    const CLSID& GetClassID() const { return m_clsid; }
    const CRuntimeClass* GetRuntimeClass() const { return m_pRuntimeClass; }

    // Every factory of the component, in a fixed order.
    static const std::vector<COleObjectFactory*>& All();
    // Registers every factory with the process's class registry (a class
    // already registered there, e.g. a test's stand-in, is left alone).
    static BOOL RegisterAll();
    // Writes (bRegister TRUE) the registration entries of every factory with
    // this library's path; FALSE when any write failed.
    static BOOL UpdateRegistryAll(BOOL bRegister);

private:
    ~COleObjectFactory() = default;

    CLSID m_clsid;
    const CRuntimeClass* m_pRuntimeClass;
    BOOL m_bMultiInstance;
    std::string m_progId;
};

// The factory of a class (IClassFactory or IUnknown in riid):
// CLASS_E_CLASSNOTAVAILABLE when the component has no such class.
QEL_API HRESULT AfxDllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK when no object of the component exists and no application lock is
// held, else S_FALSE.
QEL_API HRESULT AfxDllCanUnloadNow();
