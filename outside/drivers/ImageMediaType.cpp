#include <qel/outside/drivers/ImageMediaType.h>

#include <qel/platform/ClassRegistry.h>

using qel::platform::Variant;

namespace {
constexpr LONG kNoObject = 30;
}

BOOL IImageMediaType::CreatePriv(IDispatch* pParent, LONG* plErrorCode) { return Bind(Variant(pParent), plErrorCode); }

BOOL IImageMediaType::CreatePriv(LONG lParent, LONG* plErrorCode) { return Bind(Variant(lParent), plErrorCode); }

BOOL IImageMediaType::Bind(const Variant& parent, LONG* plErrorCode) {
    IDispatch* object = nullptr;
    qel::platform::CreateInstance(CLSID_ImageMediaTypeObject, IID_IDispatch, reinterpret_cast<void**>(&object));
    AttachDispatch(object, TRUE);  // takes over the creation's reference
    LONG code = kNoObject;
    BOOL ok = FALSE;
    if (object != nullptr) {
        Variant result;
        const HRESULT hr = InvokeMethod("CreatePriv", {parent}, &result);
        ReadErrorState(hr);
        if (IsErrorStateReadable()) {
            code = GetLErrorCode();
            BOOL answered = FALSE;
            if (SUCCEEDED(hr) && result.ToBool(&answered) && answered && code == 0) ok = TRUE;
        }
    }
    if (plErrorCode != nullptr) *plErrorCode = code;
    if (!ok) ReleaseDispatch();
    return ok;
}

BOOL IImageMediaType::Call(const char* name) {
    Variant result;
    const HRESULT hr = InvokeMethod(name, {}, &result);
    ReadErrorState(hr);
    BOOL ok = FALSE;
    if (SUCCEEDED(hr) && !result.ToBool(&ok)) ok = FALSE;
    return ok;
}

BOOL IImageMediaType::Put(const char* name, const Variant& value) {
    const HRESULT hr = GetDispatch() == nullptr ? E_POINTER : qel::platform::PutProperty(GetDispatch(), name, value);
    ReadErrorState(hr);
    return SUCCEEDED(hr) ? TRUE : FALSE;
}

BOOL IImageMediaType::AddNew() { return Call("AddNew"); }
BOOL IImageMediaType::SetStrName(LPCSTR name) { return Put("strName", Variant(std::string_view(name ? name : ""))); }
BOOL IImageMediaType::SetLWarningThreshold(LONG value) { return Put("lWarningThreshold", Variant(value)); }
BOOL IImageMediaType::SetLErrorThreshold(LONG value) { return Put("lErrorThreshold", Variant(value)); }
BOOL IImageMediaType::Update() { return Call("Update"); }
