// Registration and activation of in-process automation servers, the way COM
// does it: a server library records its classes in the current user's
// registry, and a client that knows only a ProgID finds the class, loads the
// library and asks it for the class factory.
//
// Registry entries (below HKEY_CURRENT_USER, as a per-user registration):
//
//     Software\Classes\<ProgID>                    (default) = <class name>
//     Software\Classes\<ProgID>\CLSID              (default) = {CLSID}
//     Software\Classes\CLSID\{CLSID}               (default) = <class name>
//     Software\Classes\CLSID\{CLSID}\ProgID        (default) = <ProgID>
//     Software\Classes\CLSID\{CLSID}\InprocServer32 (default) = <library path>
//
// A client:
//
//     CLSID clsid;
//     IDispatch* obj = nullptr;
//     if (SUCCEEDED(CLSIDFromProgID("Maker.Database", &clsid)))
//         CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, (void**)&obj);
//
// CoCreateInstance loads the registered library with dlopen (once per
// process; later calls reuse it), looks up its exported DllGetClassObject,
// gets the IClassFactory and creates the object. CoFreeUnusedLibraries
// unloads the libraries whose DllCanUnloadNow answers S_OK.
#pragma once

#include <string>

#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

// The exported entry points of an in-process server.
using PFN_DllGetClassObject = HRESULT (*)(REFCLSID rclsid, REFIID riid, void** ppv);
using PFN_DllCanUnloadNow = HRESULT (*)();
using PFN_DllRegisterServer = HRESULT (*)();

// The CLSID registered for a ProgID: CO_E_CLASSSTRING when the ProgID is not
// registered or its CLSID text is malformed.
QEL_API HRESULT CLSIDFromProgID(const char* progId, CLSID* pClsid);

// The class factory (or another interface riid of it) of a registered
// in-process class: REGDB_E_CLASSNOTREG when the class has no library
// registered, CO_E_DLLNOTFOUND when the library cannot be loaded,
// CO_E_ERRORINDLL when it lacks DllGetClassObject; else that entry's answer.
QEL_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pServerInfo, REFIID riid, void** ppv);

// CoGetClassObject, then IClassFactory::CreateInstance. pUnkOuter must be
// null. *ppv is null whenever the result is a failure.
QEL_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv);

// Unloads every library loaded by CoGetClassObject whose DllCanUnloadNow
// answers S_OK.
QEL_API void CoFreeUnusedLibraries();

#endif  // _WIN32

namespace qel::platform {

// Writes the entries above for one class; false when the registry file
// could not be written (a partial registration may remain).
QEL_API bool RegisterInprocServer(const CLSID& clsid, const std::string& progId, const std::string& className,
                                  const std::string& libraryPath);

// The library registered for a class; empty when none is.
QEL_API std::string InprocServerPath(const CLSID& clsid);

// The full path of the shared library (or program) that holds `address`;
// empty when it cannot be told.
QEL_API std::string ModuleOfAddress(const void* address);

}  // namespace qel::platform
