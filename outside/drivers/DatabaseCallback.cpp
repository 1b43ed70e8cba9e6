#include <qel/outside/drivers/DatabaseCallback.h>

using qel::platform::Variant;

BOOL IDatabaseCallback::OnMessage(LONG lType, LONG lParam1, LONG lParam2, LONG lParam3) {
    Variant result;
    const HRESULT hr =
        InvokeMethod("OnMessage", {Variant(lType), Variant(lParam1), Variant(lParam2), Variant(lParam3)}, &result);
    ReadErrorState(hr);
    BOOL bResult = FALSE;
    if (SUCCEEDED(hr) && !result.ToBool(&bResult)) bResult = FALSE;
    return bResult;
}
