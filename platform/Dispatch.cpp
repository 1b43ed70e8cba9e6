#include <qel/platform/Dispatch.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <vector>

#include <qel/platform/OleDate.h>

#ifndef _WIN32

void VariantInit(VARIANT* pvarg) {
    if (pvarg == nullptr) return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->dblVal = 0;
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (pvarg == nullptr) return E_INVALIDARG;
    switch (pvarg->vt) {
    case VT_BSTR:
        qel::platform::SysFreeString(pvarg->bstrVal);
        break;
    case VT_DISPATCH:
        if (pvarg->pdispVal != nullptr) pvarg->pdispVal->Release();
        break;
    case VT_EMPTY:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_DATE:
    case VT_BOOL:
    case VT_BYREF | VT_I4:  // the referenced integer belongs to the caller
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    VARIANT copy = *pvargSrc;
    switch (copy.vt) {
    case VT_BSTR:
        if (pvargSrc->bstrVal != nullptr) {
            copy.bstrVal =
                qel::platform::SysAllocStringLen(pvargSrc->bstrVal, qel::platform::SysStringLen(pvargSrc->bstrVal));
            if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
        }
        break;
    case VT_DISPATCH:
        if (copy.pdispVal != nullptr) copy.pdispVal->AddRef();
        break;
    case VT_EMPTY:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_DATE:
    case VT_BOOL:
    case VT_BYREF | VT_I4:
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    const HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

#endif  // _WIN32

namespace qel::platform {

// --- Variant ---------------------------------------------------------------

Variant::Variant() noexcept { VariantInit(&m_value); }

Variant::Variant(LONG value) noexcept : Variant() {
    m_value.vt = VT_I4;
    m_value.lVal = value;
}

Variant::Variant(Bool value) noexcept : Variant() {
    m_value.vt = VT_BOOL;
    m_value.boolVal = value.value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(double value) noexcept : Variant() {
    m_value.vt = VT_R8;
    m_value.dblVal = value;
}

Variant::Variant(Date value) noexcept : Variant() {
    m_value.vt = VT_DATE;
    m_value.date = value.value;
}

Variant::Variant(std::string_view text) : Variant() {
    BSTR bstr = BstrFromUtf8(text);
    if (bstr == nullptr) throw std::bad_alloc();
    m_value.vt = VT_BSTR;
    m_value.bstrVal = bstr;
}

Variant Variant::Short(SHORT value) noexcept {
    Variant v;
    v.m_value.vt = VT_I2;
    v.m_value.iVal = value;
    return v;
}

Variant Variant::ByRef(LONG* pValue) noexcept {
    Variant v;
    v.m_value.vt = VT_BYREF | VT_I4;
    v.m_value.plVal = pValue;
    return v;
}

Variant Variant::FromBstr(BSTR bstr) noexcept {
    Variant v;
    v.m_value.vt = VT_BSTR;
    v.m_value.bstrVal = bstr;
    return v;
}

Variant Variant::FromDispatch(IDispatch* pDispatch) noexcept {
    Variant v;
    v.m_value.vt = VT_DISPATCH;
    v.m_value.pdispVal = pDispatch;
    return v;
}

Variant::Variant(IDispatch* pDispatch) noexcept : Variant() {
    m_value.vt = VT_DISPATCH;
    m_value.pdispVal = pDispatch;
    if (pDispatch != nullptr) pDispatch->AddRef();
}

Variant::Variant(const Variant& other) : Variant() {
    if (FAILED(VariantCopy(&m_value, &other.m_value))) throw std::bad_alloc();
}

Variant::Variant(Variant&& other) noexcept : m_value(other.m_value) { VariantInit(&other.m_value); }

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        Clear();
        m_value = other.m_value;
        VariantInit(&other.m_value);
    }
    return *this;
}

Variant::~Variant() { Clear(); }

void Variant::Clear() noexcept {
    // A value of a type this layer does not know can only come from a foreign
    // Invoke; it is dropped (leaked) rather than freed in a way it was not made.
    if (FAILED(VariantClear(&m_value))) VariantInit(&m_value);
}

VARIANT* Variant::Out() noexcept {
    Clear();
    return &m_value;
}

VARIANT Variant::Detach() noexcept {
    VARIANT value = m_value;
    VariantInit(&m_value);
    return value;
}

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool WholeNumber(double d, LONG* pValue) {
    if (!std::isfinite(d) || d != std::trunc(d) || d < std::numeric_limits<LONG>::min() ||
        d > std::numeric_limits<LONG>::max()) {
        return false;
    }
    *pValue = static_cast<LONG>(d);
    return true;
}

}  // namespace

bool SameMemberName(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool Variant::ToLong(LONG* pValue) const noexcept {
    if (pValue == nullptr) return false;
    switch (m_value.vt) {
    case VT_EMPTY:
        *pValue = 0;
        return true;
    case VT_I2:
        *pValue = m_value.iVal;
        return true;
    case VT_I4:
        *pValue = m_value.lVal;
        return true;
    case VT_BYREF | VT_I4:
        if (m_value.plVal == nullptr) return false;
        *pValue = *m_value.plVal;
        return true;
    case VT_BOOL:
        *pValue = m_value.boolVal != VARIANT_FALSE ? 1 : 0;
        return true;
    case VT_R8:
    case VT_DATE:
        return WholeNumber(m_value.dblVal, pValue);
    case VT_BSTR: {
        std::string text;
        try {
            text = Utf8FromBstr(m_value.bstrVal);
        } catch (...) {
            return false;
        }
        std::string_view number = TrimBlanks(text);
        if (!number.empty() && number.front() == '+') number.remove_prefix(1);
        LONG value = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (number.empty() || ec != std::errc() || end != number.data() + number.size()) return false;
        *pValue = value;
        return true;
    }
    default:
        return false;
    }
}

bool Variant::ToShort(SHORT* pValue) const noexcept {
    LONG value = 0;
    if (pValue == nullptr || !ToLong(&value) || value < std::numeric_limits<SHORT>::min() ||
        value > std::numeric_limits<SHORT>::max()) {
        return false;
    }
    *pValue = static_cast<SHORT>(value);
    return true;
}

bool Variant::ToBool(BOOL* pValue) const noexcept {
    if (pValue == nullptr) return false;
    if (m_value.vt == VT_BSTR) {
        std::string text;
        try {
            text = Utf8FromBstr(m_value.bstrVal);
        } catch (...) {
            return false;
        }
        const std::string_view word = TrimBlanks(text);
        if (SameMemberName(word, "true")) {
            *pValue = TRUE;
            return true;
        }
        if (SameMemberName(word, "false")) {
            *pValue = FALSE;
            return true;
        }
    }
    LONG value = 0;
    if (!ToLong(&value)) return false;
    *pValue = value != 0 ? TRUE : FALSE;
    return true;
}

bool Variant::ToDate(DATE* pValue) const noexcept {
    if (pValue == nullptr) return false;
    DATE date = 0;
    switch (m_value.vt) {
    case VT_DATE:
    case VT_R8:
        date = m_value.dblVal;
        break;
    case VT_BSTR: {
        std::string text;
        try {
            text = Utf8FromBstr(m_value.bstrVal);
        } catch (...) {
            return false;
        }
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, used = 0;
        const std::string trimmed(TrimBlanks(text));
        const int fields = std::sscanf(trimmed.c_str(), "%4d-%2d-%2d%n %2d:%2d%n:%2d%n", &y, &mo, &d, &used, &h, &mi,
                                       &used, &sec, &used);
        if ((fields != 3 && fields != 5 && fields != 6) || static_cast<size_t>(used) != trimmed.size()) return false;
        if (!DateFromParts(y, mo, d, h, mi, sec, &date)) return false;
        break;
    }
    default: {
        LONG days = 0;
        if (!ToLong(&days)) return false;
        date = days;
        break;
    }
    }
    if (!(date >= kMinDate && date <= kMaxDate)) return false;
    *pValue = date;
    return true;
}

bool Variant::ToString(std::string* pValue) const {
    if (pValue == nullptr) return false;
    switch (m_value.vt) {
    case VT_BSTR:
        *pValue = Utf8FromBstr(m_value.bstrVal);
        return true;
    case VT_EMPTY:
        pValue->clear();
        return true;
    case VT_BOOL:
        *pValue = m_value.boolVal != VARIANT_FALSE ? "True" : "False";
        return true;
    case VT_I2:
    case VT_I4:
    case VT_BYREF | VT_I4: {
        LONG value = 0;
        if (!ToLong(&value)) return false;
        *pValue = std::to_string(value);
        return true;
    }
    default:
        return false;
    }
}

bool Variant::ToDispatch(IDispatch** ppValue) const noexcept {
    if (ppValue == nullptr) return false;
    if (m_value.vt == VT_DISPATCH) {
        *ppValue = m_value.pdispVal;
        return true;
    }
    if (m_value.vt == VT_EMPTY) {
        *ppValue = nullptr;
        return true;
    }
    return false;
}

LONG* Variant::GetLongRef() const noexcept { return m_value.vt == (VT_BYREF | VT_I4) ? m_value.plVal : nullptr; }

IDispatch* Variant::GetDispatch() const noexcept { return m_value.vt == VT_DISPATCH ? m_value.pdispVal : nullptr; }

// --- Calls by name ---------------------------------------------------------

HRESULT GetDispatchID(IDispatch* pDispatch, std::string_view name, DISPID* pDispId) {
    if (pDispatch == nullptr || pDispId == nullptr) return E_POINTER;
    *pDispId = DISPID_UNKNOWN;
    BSTR bstr = BstrFromUtf8(name);
    if (bstr == nullptr) return E_OUTOFMEMORY;
    BstrPtr owned(bstr);
    LPOLESTR names[] = {bstr};
    try {
        return pDispatch->GetIDsOfNames(IID_NULL, names, 1, 0, pDispId);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT InvokeByID(IDispatch* pDispatch, DISPID dispId, WORD flags, std::span<const Variant> args, Variant* result) {
    return InvokeByID(pDispatch, dispId, flags, args, result, nullptr);
}

HRESULT InvokeByID(IDispatch* pDispatch, DISPID dispId, WORD flags, std::span<const Variant> args, Variant* result,
                   UINT* pArgIndex) {
    if (pDispatch == nullptr) return E_POINTER;
    try {
        // Shallow copies, last argument first: `args` keeps owning the values,
        // which a by-value argument's callee must leave alone.
        std::vector<VARIANT> raw;
        raw.reserve(args.size());
        for (auto it = args.rbegin(); it != args.rend(); ++it) raw.push_back(it->Raw());

        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{raw.empty() ? nullptr : raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
        if ((flags & DISPATCH_PROPERTYPUT) != 0) {
            params.rgdispidNamedArgs = &named;
            params.cNamedArgs = 1;
        }
        EXCEPINFO excep{};
        UINT argErr = 0;
        Variant local;
        Variant* out = result != nullptr ? result : &local;
        const HRESULT hr = pDispatch->Invoke(dispId, IID_NULL, 0, flags, &params, out->Out(), &excep, &argErr);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        const bool refusedArgument = hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_OVERFLOW;
        if (pArgIndex != nullptr && refusedArgument && argErr < raw.size())
            *pArgIndex = static_cast<UINT>(raw.size() - 1 - argErr);
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return DISP_E_EXCEPTION;
    }
}

HRESULT InvokeByName(IDispatch* pDispatch, std::string_view name, WORD flags, std::span<const Variant> args,
                     Variant* result) {
    DISPID dispId = DISPID_UNKNOWN;
    const HRESULT hr = GetDispatchID(pDispatch, name, &dispId);
    if (FAILED(hr)) return hr;
    return InvokeByID(pDispatch, dispId, flags, args, result);
}

HRESULT CallMethod(IDispatch* pDispatch, std::string_view name, std::initializer_list<Variant> args,
                   Variant* result) {
    return InvokeByName(pDispatch, name, DISPATCH_METHOD, std::span<const Variant>(args.begin(), args.size()), result);
}

HRESULT GetProperty(IDispatch* pDispatch, std::string_view name, Variant* result) {
    return InvokeByName(pDispatch, name, DISPATCH_PROPERTYGET, {}, result);
}

HRESULT PutProperty(IDispatch* pDispatch, std::string_view name, const Variant& value) {
    return InvokeByName(pDispatch, name, DISPATCH_PROPERTYPUT, std::span<const Variant>(&value, 1), nullptr);
}

}  // namespace qel::platform
