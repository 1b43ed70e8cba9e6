// The client notifications of the database object: SendMessage through the
// client's callback object, the objDatabaseCallback property, and the
// selection counters that other components update through the callback
// window.
#include <qel/database/DatabaseObj.h>

#include <qel/platform/Window.h>

BOOL CDatabaseObj::SendMessage(LONG lType, LONG lParam1, LONG lParam2, LONG lParam3) {
    ClearError();
    if (!m_xDatabaseCallback.IsAttached()) return TRUE;
    // The client's answer is not used: its error state is what counts.
    m_xDatabaseCallback.OnMessage(lType, lParam1, lParam2, lParam3);
    if (!m_xDatabaseCallback.IsErrorStateReadable()) return SetError(30);
    strError = m_xDatabaseCallback.GetStrError();
    lErrorCode = m_xDatabaseCallback.GetLErrorCode();
    if (lErrorCode != 0) return PassOnError();
    return TRUE;
}

IDispatch* CDatabaseObj::GetObjDatabaseCallback() {
    ClearError();
    IDispatch* pDispatch = m_xDatabaseCallback.GetDispatch();
    if (pDispatch != nullptr) pDispatch->AddRef();
    return pDispatch;
}

void CDatabaseObj::SetObjDatabaseCallback(IDispatch* pDispatch) {
    ClearError();
    m_xDatabaseCallback.ReleaseDispatch();
    if (pDispatch == nullptr) return;
    // The caller keeps its own reference; the driver releases this one.
    pDispatch->AddRef();
    m_xDatabaseCallback.AttachDispatch(pDispatch, TRUE);
}

void CDatabaseObj::UpdateSelectCount(LONG lIncrement) {
    if (!bIsOpen) return;
    m_lSelectCount += lIncrement;
    if (lIncrement > 0) m_lSelectAdded += lIncrement;
}

void CDatabaseObj::PumpUpdateSelectCountMessages() {
    constexpr UINT kUpdateSelectCount = WM_USER + 8;
    MSG msg;
    while (qel::platform::PeekMessage(&msg, nullptr, kUpdateSelectCount, kUpdateSelectCount, PM_REMOVE)) {
        qel::platform::DispatchMessage(&msg);
    }
}
