// CDynamicDispatchDriverPriv: the base of the dispatch drivers, thin C++
// wrappers that call an automation object of another component by member
// name (late binding, no type library).
//
// A driver holds one dispatch pointer. AttachDispatch hands it a pointer
// together with the reference the caller owns: with auto-release the driver
// releases that reference when the pointer is replaced, released or the
// driver goes; without it the driver only borrows the pointer.
//
// The objects driven this way report their failures through two readable
// properties, lErrorCode and strError. After each call a driver reads both;
// IsErrorStateReadable tells whether that worked, and GetLErrorCode and
// GetStrError give what was read:
//
//     IDatabaseCallback callback;
//     callback.AttachDispatch(pDispatch, TRUE);   // takes over one reference
//     callback.OnMessage(100, 0, lKey, 0);
//     if (callback.IsErrorStateReadable() && callback.GetLErrorCode() != 0) ...
//
// A driver is used on one thread; it never throws.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include <qel/platform/Dispatch.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class QEL_API CDynamicDispatchDriverPriv {
public:
    CDynamicDispatchDriverPriv() = default;
    virtual ~CDynamicDispatchDriverPriv();
    CDynamicDispatchDriverPriv(const CDynamicDispatchDriverPriv&) = delete;
    CDynamicDispatchDriverPriv& operator=(const CDynamicDispatchDriverPriv&) = delete;

    // Releases the pointer held so far (when auto-released), then holds
    // pDispatch; the driver adds no reference of its own.
    void AttachDispatch(IDispatch* pDispatch, BOOL bAutoRelease = TRUE);
    // Releases the pointer (when auto-released) and holds none.
    void ReleaseDispatch();
    // Gives the pointer and its reference (if any) back to the caller.
    IDispatch* DetachDispatch();

    // The pointer held, without a reference for the caller; null when none.
    IDispatch* GetDispatch() const { return m_lpDispatch; }
    BOOL IsAttached() const { return m_lpDispatch != nullptr ? TRUE : FALSE; }

    // TRUE when the last call went through and both lErrorCode and strError
    // of the driven object could be read afterwards.
    BOOL IsErrorStateReadable() const { return m_bErrorStateReadable; }
    // The driven object's lErrorCode and strError as read after the last
    // call (0 and empty when they could not be read).
    LONG GetLErrorCode() const { return m_lErrorCode; }
    std::string GetStrError() const { return m_strError; }

protected:
    // Calls a method of the driven object; the HRESULT of the call
    // (E_POINTER when nothing is attached).
    HRESULT InvokeMethod(std::string_view name, std::initializer_list<qel::platform::Variant> args,
                         qel::platform::Variant* result);
    // Reads a property of the driven object.
    HRESULT ReadProperty(std::string_view name, qel::platform::Variant* result);
    // Reads lErrorCode and strError after a call whose HRESULT was callResult
    // and sets the error-state flag: readable only when the call succeeded
    // and both properties could be read and converted.
    void ReadErrorState(HRESULT callResult);

private:
    void ForgetErrorState();

    IDispatch* m_lpDispatch = nullptr;
    BOOL m_bAutoRelease = TRUE;
    BOOL m_bErrorStateReadable = FALSE;
    LONG m_lErrorCode = 0;
    std::string m_strError;
};
