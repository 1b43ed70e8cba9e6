// CDatabaseCallbackWnd: the hidden window bound to one database object
// through which other code of the same process (live items, background
// work) reaches that object: it sends or posts the messages below to the
// window, and the handler runs the operation on the thread that created the
// window, the thread of the database object.
//
//     CDatabaseCallbackWnd wnd(&db);
//     if (!wnd.Create()) ...                                   // on db's thread
//     LONG key = 0;                                            // elsewhere:
//     qel::platform::SendMessage(wnd.GetSafeHwnd(), CDatabaseCallbackWnd::WM_GET_NEW_KEY,
//                                nTable, reinterpret_cast<LPARAM>(&key));
//
// A sender that needs a result (close request, SendMessage, new key) sends
// synchronously; selection-count increments may be posted and drained with
// CDatabaseObj::PumpUpdateSelectCountMessages. Create, DestroyWindow and
// the destructor belong to the creating thread.
#pragma once

#include <qel/database/CallbackWindow.h>
#include <qel/platform/Export.h>
#include <qel/platform/Window.h>
#include <qel/platform/WinTypes.h>

class CDatabaseObj;

class QEL_API CDatabaseCallbackWnd final : public ICallbackWindow {
public:
    // The messages and their parameters; every handler answers 0 unless said.
    enum : UINT {
        // wParam: close-request flag (nonzero: close without the closing
        // notice). Closes the database; answers the result of the close.
        WM_CLOSE_DATABASE = WM_USER + 1,
        // lParam: CDBException*. Sets the error state from the exception.
        WM_SET_ERROR_STRING = WM_USER + 2,
        // lParam: CQELDatabaseItem*.
        WM_REGISTER_ITEM = WM_USER + 3,
        WM_UNREGISTER_ITEM = WM_USER + 4,
        // lParam: LONG[5]; values 0..3 are SendMessage's type and p1..p3,
        // value 4 receives the resulting lErrorCode.
        WM_SEND_MESSAGE = WM_USER + 5,
        // wParam: table number; lParam: LONG* receiving the key, -1 on failure.
        WM_GET_NEW_KEY = WM_USER + 6,
        // lParam: CQELObjectData* a client has released.
        WM_CHECK_OWNERS_OBJECT_SET = WM_USER + 7,
        // lParam: the increment of the selection counter.
        WM_UPDATE_SELECT_COUNT = WM_USER + 8,
        // lParam: amount of space about to be used.
        WM_CHECK_DISK_SPACE = WM_USER + 9,
    };

    explicit CDatabaseCallbackWnd(CDatabaseObj* pDatabase);
    // Destroys the window if it still exists.
    ~CDatabaseCallbackWnd() override;
    CDatabaseCallbackWnd(const CDatabaseCallbackWnd&) = delete;
    CDatabaseCallbackWnd& operator=(const CDatabaseCallbackWnd&) = delete;

    // Creates the hidden window on the calling thread. FALSE when there is
    // no database object, a window exists already, or creation failed.
    BOOL Create() override;
    // FALSE when there is no window or it cannot be destroyed from this thread.
    BOOL DestroyWindow();
    // The window's handle; null when there is none.
    HWND GetSafeHwnd() const override { return m_hWnd; }

private:
    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    CDatabaseObj* m_pDatabase;
    HWND m_hWnd = nullptr;
};
