#include <qel/database/CallbackWindow.h>

#include <atomic>

#include <qel/database/DatabaseObj.h>

namespace {

// Constant-initialised, so a maker installed while the component loads is
// never overwritten by this variable's own initialisation.
std::atomic<CallbackWindowMaker> g_maker{nullptr};

}  // namespace

void SetCallbackWindowMaker(CallbackWindowMaker maker) noexcept { g_maker.store(maker); }

std::unique_ptr<ICallbackWindow> MakeCallbackWindow(CDatabaseObj* pDatabase) {
    CallbackWindowMaker maker = g_maker.load();
    return maker != nullptr ? maker(pDatabase) : nullptr;
}

// The window lives from the start of an open to the end of the close.
HWND CDatabaseObj::GetCallbackWindow() const { return m_pCallbackWnd ? m_pCallbackWnd->GetSafeHwnd() : nullptr; }

BOOL CDatabaseObj::CloseOnRequest(BOOL bQuiet) {
    m_bQuietClose = bQuiet;
    return Close();
}
