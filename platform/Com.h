// The component-object basics the component is written against: GUIDs,
// IUnknown, and the application lock count that decides whether the library
// may be unloaded (AfxOleLockApp / AfxOleUnlockApp / AfxOleCanExitApp).
#pragma once

#include <atomic>
#include <cstring>
#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }

// The root of every interface: reference counting and interface lookup,
// with the standard calling convention of its platform.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// What DllGetClassObject hands out: creates objects of one class and keeps
// the server loaded while a client holds a lock on it.
struct IClassFactory : IUnknown {
    // pUnkOuter must be null (no aggregation); the new object holds one
    // reference for the caller through the interface riid.
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#endif  // _WIN32

namespace qel::platform {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case, as the registry keeps it.
QEL_API std::string GuidToString(const GUID& guid);
// Parses the form above (braces optional); false on malformed text.
QEL_API bool GuidFromString(const std::string& text, GUID* guid);

}  // namespace qel::platform

// Application locks: each live automation object and each explicit client
// lock holds one; the library may be unloaded only when none is held.
QEL_API void AfxOleLockApp();
QEL_API void AfxOleUnlockApp();
QEL_API LONG AfxOleLockCount();
