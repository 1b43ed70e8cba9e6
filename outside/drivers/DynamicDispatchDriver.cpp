#include <qel/outside/drivers/DynamicDispatchDriver.h>

#include <span>

using qel::platform::Variant;

CDynamicDispatchDriverPriv::~CDynamicDispatchDriverPriv() { ReleaseDispatch(); }

void CDynamicDispatchDriverPriv::AttachDispatch(IDispatch* pDispatch, BOOL bAutoRelease) {
    ReleaseDispatch();
    m_lpDispatch = pDispatch;
    m_bAutoRelease = bAutoRelease;
}

void CDynamicDispatchDriverPriv::ReleaseDispatch() {
    IDispatch* p = m_lpDispatch;
    m_lpDispatch = nullptr;
    ForgetErrorState();
    // Released last: the object's final release may run arbitrary code.
    if (p != nullptr && m_bAutoRelease) p->Release();
}

IDispatch* CDynamicDispatchDriverPriv::DetachDispatch() {
    IDispatch* p = m_lpDispatch;
    m_lpDispatch = nullptr;
    ForgetErrorState();
    return p;
}

HRESULT CDynamicDispatchDriverPriv::InvokeMethod(std::string_view name, std::initializer_list<Variant> args,
                                                 Variant* result) {
    if (m_lpDispatch == nullptr) return E_POINTER;
    return qel::platform::InvokeByName(m_lpDispatch, name, DISPATCH_METHOD,
                                       std::span<const Variant>(args.begin(), args.size()), result);
}

HRESULT CDynamicDispatchDriverPriv::ReadProperty(std::string_view name, Variant* result) {
    if (m_lpDispatch == nullptr) return E_POINTER;
    return qel::platform::GetProperty(m_lpDispatch, name, result);
}

void CDynamicDispatchDriverPriv::ReadErrorState(HRESULT callResult) {
    ForgetErrorState();
    if (FAILED(callResult)) return;
    Variant code;
    Variant text;
    LONG lCode = 0;
    std::string strText;
    try {
        if (FAILED(ReadProperty("lErrorCode", &code)) || !code.ToLong(&lCode)) return;
        if (FAILED(ReadProperty("strError", &text)) || !text.ToString(&strText)) return;
    } catch (...) {
        return;  // a text that does not convert counts as unreadable
    }
    m_lErrorCode = lCode;
    m_strError = std::move(strText);
    m_bErrorStateReadable = TRUE;
}

void CDynamicDispatchDriverPriv::ForgetErrorState() {
    m_bErrorStateReadable = FALSE;
    m_lErrorCode = 0;
    m_strError.clear();
}
