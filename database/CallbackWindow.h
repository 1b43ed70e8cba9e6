// The hidden callback window an open database object owns, as the object
// sees it. The window itself (callback/DatabaseCallbackWnd.h) sits in the
// layer above and installs its maker when the component loads, so the
// database object creates its window without knowing its class:
//
//     std::unique_ptr<ICallbackWindow> wnd = MakeCallbackWindow(this);
//     if (!wnd || !wnd->Create()) ...   // no maker installed, or no window
//
// Destroying the object destroys the window.
#pragma once

#include <memory>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class CDatabaseObj;

class ICallbackWindow {
public:
    virtual ~ICallbackWindow() = default;
    // Creates the window on the calling thread; FALSE on failure.
    virtual BOOL Create() = 0;
    // The window's handle; null when there is none.
    virtual HWND GetSafeHwnd() const = 0;
};

using CallbackWindowMaker = std::unique_ptr<ICallbackWindow> (*)(CDatabaseObj* pDatabase);

// Installs the maker every later MakeCallbackWindow uses.
QEL_API void SetCallbackWindowMaker(CallbackWindowMaker maker) noexcept;
// A window (not yet created) bound to pDatabase; null when no maker is installed.
std::unique_ptr<ICallbackWindow> MakeCallbackWindow(CDatabaseObj* pDatabase);
