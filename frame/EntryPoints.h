// The three entry points of the component as an in-process server, exported
// with C linkage from libqeldb.so:
//
//   DllGetClassObject  the class factory of "QEL.Database" (and of the
//                      media type object and the default application server)
//   DllCanUnloadNow    S_OK only when no object of the component exists and
//                      no lock is held
//   DllRegisterServer  writes the class identifiers, ProgIDs and this
//                      library's path into the registry file; always S_OK
//
// `qeldb register` calls DllRegisterServer; platform/ComActivation.h is the
// client side.
#pragma once

#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

extern "C" {
QEL_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
QEL_API HRESULT DllCanUnloadNow();
QEL_API HRESULT DllRegisterServer();
}
