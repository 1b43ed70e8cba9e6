// The process's class registry: which function creates the objects of a
// class identifier, the way COM finds a server for a CLSID. The component
// creates the application server through it, and tests put a fake in the
// real server's place.
//
//   qel::platform::RegisterClassFactory(CLSID_QELServer, &MakeFakeServer);
//   IQELServer* server = nullptr;
//   HRESULT hr = qel::platform::CreateInstance(CLSID_QELServer, IID_IQELServer,
//                                              reinterpret_cast<void**>(&server));
//
// A factory returns a new object holding one reference for the caller, with
// the requested interface, or a failing HRESULT and a null pointer. The
// registry is shared by the whole process and safe to use from any thread.
#pragma once

#include <functional>

#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::platform {

using ClassFactory = std::function<HRESULT(REFIID riid, void** ppv)>;

// Registers (or replaces) the factory of a class; returns the factory it
// replaced, empty when there was none. An empty factory removes the class.
QEL_API ClassFactory RegisterClassFactory(REFCLSID clsid, ClassFactory factory);
// Registers the factory only when the class has none yet; true when it did.
QEL_API bool RegisterClassFactoryIfAbsent(REFCLSID clsid, ClassFactory factory);
QEL_API bool IsClassRegistered(REFCLSID clsid);

// Creates an object of the class through its factory: REGDB_E_CLASSNOTREG
// for an unknown class, E_POINTER for a null ppv, else the factory's result.
// *ppv is null whenever the result is a failure.
QEL_API HRESULT CreateInstance(REFCLSID clsid, REFIID riid, void** ppv);

}  // namespace qel::platform
