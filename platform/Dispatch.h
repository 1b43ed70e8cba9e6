// Late-bound automation: IDispatch, VARIANT and calls by member name.
//
// An automation object exposes its members through two calls: GetIDsOfNames
// turns a member name (case-insensitive) into a dispatch number, Invoke calls
// the member with that number as a method, a property read or a property
// write. Arguments travel as VARIANTs in reverse order, as the automation
// ABI has it. The component calls its clients' objects this way:
//
//     qel::platform::Variant result;
//     HRESULT hr = qel::platform::CallMethod(callback, "OnMessage",
//                                            {Variant(100), Variant(0), Variant(7), Variant(0)}, &result);
//     hr = qel::platform::GetProperty(callback, "lErrorCode", &result);
//
// Variant is the owning form of VARIANT used on this side (it frees its
// string and releases its object). The component's own automation objects
// are served from tables of their members (platform/DispatchTable.h).
//
// Only the value types the component exchanges are supported: empty, 16- and
// 32-bit integers, BOOL, double, date, string, dispatch object, and a
// reference to a 32-bit integer (VT_BYREF | VT_I4) for out-parameters. The
// conversions follow what automation clients rely on: a number given as
// text, a short given as a long, any nonzero number as a true BOOL.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include <qel/platform/Bstr.h>
#include <qel/platform/Com.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32

using DISPID = LONG;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using DATE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BOOL = 11,
    VT_BYREF = 0x4000,
};

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

// Invoke flags.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;

constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);

inline constexpr IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IDispatch;

// The automation value: a type tag and the value. Owns its string (VT_BSTR)
// and one reference of its object (VT_DISPATCH); VariantClear frees them.
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        SHORT iVal;
        LONG* plVal;  // VT_BYREF | VT_I4: the caller's integer, not owned
        VARIANT_BOOL boolVal;
        double dblVal;
        DATE date;
        BSTR bstrVal;
        IDispatch* pdispVal;
    };
};

// The arguments of Invoke: rgvarg holds them last argument first.
struct DISPPARAMS {
    VARIANT* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

// What a member that failed with DISP_E_EXCEPTION reports.
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    HRESULT scode;
};

struct IDispatch : IUnknown {
    // Dispatch numbers of the names (only the first, the member, is used
    // here; the rest would name arguments). Names compare case-insensitively.
    // Each name is a plain zero-terminated wide string read to its
    // terminator; a BSTR is one too, but no length prefix is expected.
    // DISP_E_UNKNOWNNAME for an unknown name, with DISPID_UNKNOWN stored.
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                    DISPID* rgDispId) = 0;
    // Calls a member. pVarResult, pExcepInfo and puArgErr may be null.
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

QEL_API void VariantInit(VARIANT* pvarg);
// Frees what the value owns and leaves it VT_EMPTY. DISP_E_BADVARTYPE for a
// type this layer does not know (the value is then left alone).
QEL_API HRESULT VariantClear(VARIANT* pvarg);
// Clears the destination, then copies (a new string, one more reference).
QEL_API HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);

#endif  // _WIN32

namespace qel::platform {

// The owning form of VARIANT. Copying duplicates the string or adds a
// reference; moving hands them over.
class QEL_API Variant {
public:
    struct Bool {
        bool value;
    };
    struct Date {
        DATE value;
    };

    Variant() noexcept;
    explicit Variant(LONG value) noexcept;
    explicit Variant(Bool value) noexcept;
    // VT_I2.
    static Variant Short(SHORT value) noexcept;
    // VT_BYREF | VT_I4 pointing at the caller's integer, which must outlive
    // the value; a callee writes its out-parameter through it.
    static Variant ByRef(LONG* pValue) noexcept;
    // Takes over a string the caller allocated (null is the empty string).
    static Variant FromBstr(BSTR bstr) noexcept;
    // Takes over one reference the caller owns (null gives a null object).
    static Variant FromDispatch(IDispatch* pDispatch) noexcept;
    explicit Variant(double value) noexcept;
    explicit Variant(Date value) noexcept;
    // The UTF-8 text as a string value; throws std::bad_alloc when out of memory.
    explicit Variant(std::string_view text);
    // Shares the object (adds a reference); null gives a null VT_DISPATCH.
    explicit Variant(IDispatch* pDispatch) noexcept;

    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant();

    VARTYPE Type() const noexcept { return m_value.vt; }
    bool IsEmpty() const noexcept { return m_value.vt == VT_EMPTY; }

    // Conversions; false when the value does not convert. A by-reference
    // integer converts as the integer it points at.
    // Integer: VT_I4, VT_I2, VT_BOOL (TRUE is 1), VT_EMPTY (0), VT_R8 or
    // VT_DATE holding a whole number in range, VT_BSTR holding a decimal
    // integer in range (blanks around it allowed).
    bool ToLong(LONG* pValue) const noexcept;
    // As ToLong, within -32768..32767.
    bool ToShort(SHORT* pValue) const noexcept;
    // BOOL: any value ToLong accepts (nonzero is TRUE), and the texts "True"
    // and "False" in any case.
    bool ToBool(BOOL* pValue) const noexcept;
    // Date: VT_DATE, VT_R8, the integers, and VT_BSTR as "YYYY-MM-DD" with an
    // optional " HH:MM[:SS]"; within the automation date range.
    bool ToDate(DATE* pValue) const noexcept;
    // Text: VT_BSTR (UTF-8), VT_EMPTY as the empty string, integers in
    // decimal, BOOL as "True" or "False".
    bool ToString(std::string* pValue) const;
    // An object: VT_DISPATCH (possibly null) or VT_EMPTY (null).
    bool ToDispatch(IDispatch** ppValue) const noexcept;
    // The object without a reference of its own; null unless VT_DISPATCH.
    IDispatch* GetDispatch() const noexcept;
    // The caller's integer of a VT_BYREF | VT_I4 value; null otherwise.
    LONG* GetLongRef() const noexcept;

    const VARIANT& Raw() const noexcept { return m_value; }
    // Clears the value and returns it for an out-parameter (Invoke's result).
    VARIANT* Out() noexcept;
    // Hands the value over to the caller (who clears it) and becomes empty.
    VARIANT Detach() noexcept;
    void Clear() noexcept;

private:
    VARIANT m_value;
};

// Whether two member names are the same, as GetIDsOfNames compares them
// (ASCII letters without regard to case).
QEL_API bool SameMemberName(std::string_view a, std::string_view b) noexcept;

// The dispatch number of a member name; DISP_E_UNKNOWNNAME when the object
// has no such member, E_POINTER for a null object.
QEL_API HRESULT GetDispatchID(IDispatch* pDispatch, std::string_view name, DISPID* pDispId);
// Invokes a member by dispatch number with the arguments in their natural
// order (they are reversed for the call). result may be null. An exception
// thrown by a native implementation is turned into DISP_E_EXCEPTION.
QEL_API HRESULT InvokeByID(IDispatch* pDispatch, DISPID dispId, WORD flags, std::span<const Variant> args,
                           Variant* result);
// The same; when the member refuses an argument (DISP_E_TYPEMISMATCH,
// DISP_E_PARAMNOTFOUND, DISP_E_OVERFLOW) *pArgIndex is that argument's
// position in `args`, counted from the first.
QEL_API HRESULT InvokeByID(IDispatch* pDispatch, DISPID dispId, WORD flags, std::span<const Variant> args,
                           Variant* result, UINT* pArgIndex);
// GetDispatchID, then InvokeByID.
QEL_API HRESULT InvokeByName(IDispatch* pDispatch, std::string_view name, WORD flags,
                             std::span<const Variant> args, Variant* result);
QEL_API HRESULT CallMethod(IDispatch* pDispatch, std::string_view name, std::initializer_list<Variant> args,
                           Variant* result);
QEL_API HRESULT GetProperty(IDispatch* pDispatch, std::string_view name, Variant* result);
QEL_API HRESULT PutProperty(IDispatch* pDispatch, std::string_view name, const Variant& value);

}  // namespace qel::platform
