#include <qel/callback/DatabaseCallbackWnd.h>

#include <qel/BuildInfo.h>
#include <qel/database/DatabaseObj.h>
#include <qel/outside/Log.h>

namespace {

// The sent values arrive through LPARAM as addresses or as plain numbers.
template <class T>
T* Pointer(LPARAM lParam) {
    return reinterpret_cast<T*>(lParam);
}

std::unique_ptr<ICallbackWindow> MakeWindow(CDatabaseObj* pDatabase) {
    return std::make_unique<CDatabaseCallbackWnd>(pDatabase);
}

// Every database object of the process gets its window from here.
[[maybe_unused]] const bool g_makerInstalled = (SetCallbackWindowMaker(&MakeWindow), true);

}  // namespace

CDatabaseCallbackWnd::CDatabaseCallbackWnd(CDatabaseObj* pDatabase) : m_pDatabase(pDatabase) {}

CDatabaseCallbackWnd::~CDatabaseCallbackWnd() { DestroyWindow(); }

BOOL CDatabaseCallbackWnd::Create() {
    if (m_pDatabase == nullptr || m_hWnd != nullptr) return FALSE;
    m_hWnd = qel::platform::CreateWindow(
        [this](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            return WindowProc(hwnd, message, wParam, lParam);
        });
    return m_hWnd != nullptr ? TRUE : FALSE;
}

BOOL CDatabaseCallbackWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    if (!qel::platform::DestroyWindow(m_hWnd)) return FALSE;
    m_hWnd = nullptr;
    return TRUE;
}

LRESULT CDatabaseCallbackWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDatabaseObj& db = *m_pDatabase;
    switch (message) {
    case WM_TIMER:
        return db.bIsOpen ? qel::platform::DefWindowProc(hwnd, message, wParam, lParam) : 0;

    case WM_CLOSE_DATABASE:
        return db.CloseOnRequest(wParam != 0 ? TRUE : FALSE);

    case WM_SET_ERROR_STRING:
        db.SetErrorString(Pointer<CDBException>(lParam));
        return 0;

    case WM_REGISTER_ITEM:
        db.RegisterItem(Pointer<CQELDatabaseItem>(lParam));
        return 0;

    case WM_UNREGISTER_ITEM:
        db.UnregisterItem(Pointer<CQELDatabaseItem>(lParam));
        return 0;

    case WM_SEND_MESSAGE: {
        LONG* values = Pointer<LONG>(lParam);
        if (values == nullptr) return 0;
        db.SendMessage(values[0], values[1], values[2], values[3]);
        values[4] = db.lErrorCode;
        if (values[4] != 0) WriteLogCheck(CDatabaseObj::kModuleCallbackWnd, __LINE__, QEL_BUILD_TIME);
        return 0;
    }

    case WM_GET_NEW_KEY: {
        LONG* pKey = Pointer<LONG>(lParam);
        if (pKey == nullptr) return 0;
        if (!db.GetNewKey(static_cast<int>(wParam), pKey)) *pKey = -1;
        return 0;
    }

    case WM_CHECK_OWNERS_OBJECT_SET:
        db.CheckOwnersObjectSet(Pointer<CQELObjectData>(lParam));
        return 0;

    case WM_UPDATE_SELECT_COUNT:
        db.UpdateSelectCount(static_cast<LONG>(lParam));
        return 0;

    case WM_CHECK_DISK_SPACE:
        db.CheckDiskSpace(static_cast<int>(lParam));
        return 0;

    default:
        // WM_CREATE, WM_DESTROY and everything else: default processing.
        return qel::platform::DefWindowProc(hwnd, message, wParam, lParam);
    }
}
