// A dispatch table: the list of an object's automation members (name,
// dispatch number, kind and types) bound to its C++ member functions, and
// the GetIDsOfNames / Invoke that serve it. Every automation object of the
// component is served this way, so they all answer alike:
//
//     class CThing : public qel::platform::DispatchObject<CThing> {
//     public:
//         const qel::platform::DispatchTable<CThing>& Table() const {
//             using DT = qel::platform::DispatchTable<CThing>;
//             using VT = qel::platform::DispType;
//             static const DT table({
//                 DT::Property<&CThing::GetLKey, &CThing::SetLKey, VT::Long>("lKey", 1),
//                 DT::ReadOnly<&CThing::GetStrError, VT::String>("strError", 2),
//                 DT::Method<&CThing::Open2, VT::Bool, VT::Bool>("Open2", 3),
//                 DT::Method<&CThing::GetCount, VT::Bool, VT::LongOut>("GetCount", 4),
//             });
//             return table;
//         }
//         ...
//     };
//
// DispatchObject<T> is the heap-allocated kind (reference counted, deleted on
// the last Release); an object that is a part of another forwards its
// GetIDsOfNames and Invoke to its table itself.
//
// The types are given explicitly, as a dispatch map gives them, because the
// C++ types cannot tell a BOOL from a long. Each argument is converted with
// the Variant conversions (a number given as text, a short given as a long,
// any nonzero BOOL); a LongOut parameter takes a by-reference VT_I4 and the
// member writes through it; a Variant parameter or result is passed as it is.
// A String member takes `const char*` or `const std::string&` and returns a
// BSTR (handed over) or a std::string.
//
// Invoke answers the standard failures: DISP_E_MEMBERNOTFOUND for an unknown
// number and for a put on a method or a read-only property,
// DISP_E_BADPARAMCOUNT for a wrong number of arguments, DISP_E_TYPEMISMATCH
// (with the argument's position in puArgErr, counted from the last as
// DISPPARAMS holds them) for a value that does not convert,
// DISP_E_NONAMEDARGS for named arguments other than a put's value
// (DISPID_PROPERTYPUT, else DISP_E_PARAMNOTFOUND). A property is read with a
// property get (or a method call without arguments) and written with a
// property put. A member fails the call with an HRESULT of its choosing by
// throwing DispatchFailure; any other exception gives DISP_E_EXCEPTION
// (E_OUTOFMEMORY for std::bad_alloc), and EXCEPINFO is never filled.
#pragma once

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <new>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <qel/platform/Bstr.h>
#include <qel/platform/Dispatch.h>
#include <qel/platform/DispatchMembers.h>

namespace qel::platform {

// Thrown by a member to fail the call with `hr` (e.g. DISP_E_TYPEMISMATCH
// for an argument its own checks refuse).
struct DispatchFailure {
    HRESULT hr;
};

namespace dispatch_detail {

// One argument converted for the call; lives until the member returns.
template <class A>
struct Arg;

template <>
struct Arg<LONG> {
    LONG value = 0;
    bool Load(const Variant& v, DispType type) {
        if (type == DispType::Bool) {
            BOOL b = FALSE;
            if (!v.ToBool(&b)) return false;
            value = b;
            return true;
        }
        return v.ToLong(&value);
    }
    LONG Get() const { return value; }
};

template <>
struct Arg<SHORT> {
    SHORT value = 0;
    bool Load(const Variant& v, DispType) { return v.ToShort(&value); }
    SHORT Get() const { return value; }
};

template <>
struct Arg<double> {
    double value = 0;
    bool Load(const Variant& v, DispType) { return v.ToDate(&value); }
    double Get() const { return value; }
};

template <>
struct Arg<const char*> {
    std::string value;
    bool Load(const Variant& v, DispType) { return v.ToString(&value); }
    const char* Get() const { return value.c_str(); }
};

template <>
struct Arg<std::string> {
    std::string value;
    bool Load(const Variant& v, DispType) { return v.ToString(&value); }
    const std::string& Get() const { return value; }
};

template <>
struct Arg<Variant> {
    Variant value;
    bool Load(const Variant& v, DispType) {
        value = v;
        return true;
    }
    const Variant& Get() const { return value; }
};

template <>
struct Arg<IDispatch*> {
    IDispatch* value = nullptr;
    bool Load(const Variant& v, DispType) { return v.ToDispatch(&value); }
    IDispatch* Get() const { return value; }
};

template <>
struct Arg<LONG*> {
    LONG* value = nullptr;
    bool Load(const Variant& v, DispType) {
        value = v.GetLongRef();
        return value != nullptr;
    }
    LONG* Get() const { return value; }
};

// Turns a member's result into the value handed to the caller, who owns it.
inline void Store(LONG value, DispType type, Variant* out) {
    *out = type == DispType::Bool ? Variant(Variant::Bool{value != 0}) : Variant(value);
}
inline void Store(SHORT value, DispType, Variant* out) { *out = Variant::Short(value); }
inline void Store(double value, DispType, Variant* out) { *out = Variant(Variant::Date{value}); }
inline void Store(BSTR value, DispType, Variant* out) { *out = Variant::FromBstr(value); }
inline void Store(IDispatch* value, DispType, Variant* out) { *out = Variant::FromDispatch(value); }
inline void Store(const std::string& value, DispType, Variant* out) { *out = Variant(std::string_view(value)); }
inline void Store(Variant value, DispType, Variant* out) { *out = std::move(value); }

template <class F>
struct MemberTraits;
template <class C, class R, class... A>
struct MemberTraits<R (C::*)(A...)> {
    using Class = C;
    using Result = R;
    using Args = std::tuple<std::decay_t<A>...>;
    static constexpr std::size_t kArity = sizeof...(A);
};
template <class C, class R, class... A>
struct MemberTraits<R (C::*)(A...) const> : MemberTraits<R (C::*)(A...)> {};

template <class T>
struct Holders;
template <class... A>
struct Holders<std::tuple<A...>> {
    using Type = std::tuple<Arg<A>...>;
};

// Converts the arguments, calls the member, stores its result.
template <auto F, DispType R, DispType... P>
HRESULT CallMember(typename MemberTraits<decltype(F)>::Class& object, std::span<const Variant> args,
                   Variant* result, UINT* puArgErr) {
    using Traits = MemberTraits<decltype(F)>;
    static_assert(sizeof...(P) == Traits::kArity, "one DispType per parameter");
    if (args.size() != Traits::kArity) return DISP_E_BADPARAMCOUNT;
    typename Holders<typename Traits::Args>::Type holders;
    constexpr DispType types[] = {P..., DispType::Void};
    HRESULT hr = S_OK;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((hr == S_OK && !std::get<I>(holders).Load(args[I], types[I])
              ? (hr = DISP_E_TYPEMISMATCH, puArgErr != nullptr ? (*puArgErr = static_cast<UINT>(args.size() - 1 - I)) : 0u)
              : 0u),
         ...);
    }(std::make_index_sequence<Traits::kArity>());
    if (FAILED(hr)) return hr;
    std::apply(
        [&](auto&... held) {
            if constexpr (std::is_void_v<typename Traits::Result>) {
                (object.*F)(held.Get()...);
            } else {
                Store((object.*F)(held.Get()...), R, result);
            }
        },
        holders);
    return S_OK;
}

}  // namespace dispatch_detail

template <class T>
class DispatchTable {
public:
    using Caller = HRESULT (*)(T& object, std::span<const Variant> args, Variant* result, UINT* puArgErr);

    struct Entry {
        std::string name;
        DISPID dispId = DISPID_UNKNOWN;
        bool property = false;
        Caller get = nullptr;  // property read, or the method call
        Caller put = nullptr;  // property write; null for a method or a read-only property
        DispType type = DispType::Void;     // the property's type or the method's result
        std::vector<DispType> parameters;  // a method's, in order
    };

    // A property of type V with its getter and setter.
    template <auto Get, auto Set, DispType V>
    static Entry Property(std::string name, DISPID dispId) {
        return {std::move(name), dispId, true, &dispatch_detail::CallMember<Get, V>,
                &dispatch_detail::CallMember<Set, DispType::Void, V>, V, {}};
    }
    // A property of type V that is only read.
    template <auto Get, DispType V>
    static Entry ReadOnly(std::string name, DISPID dispId) {
        return {std::move(name), dispId, true, &dispatch_detail::CallMember<Get, V>, nullptr, V, {}};
    }
    // A method returning R with parameters P.
    template <auto F, DispType R, DispType... P>
    static Entry Method(std::string name, DISPID dispId) {
        return {std::move(name), dispId, false, &dispatch_detail::CallMember<F, R, P...>, nullptr, R, {P...}};
    }

    explicit DispatchTable(std::vector<Entry> entries) : m_entries(std::move(entries)) {}

    const std::vector<Entry>& Entries() const { return m_entries; }

    // The member of a dispatch number; null when there is none.
    const Entry* Find(DISPID dispId) const {
        for (const Entry& entry : m_entries)
            if (entry.dispId == dispId) return &entry;
        return nullptr;
    }

    // The dispatch number of a name, compared without regard to ASCII case.
    DISPID IdOfName(std::string_view name) const {
        for (const Entry& entry : m_entries)
            if (SameMemberName(entry.name, name)) return entry.dispId;
        return DISPID_UNKNOWN;
    }

    // IDispatchMembers::GetMember for this table.
    HRESULT Describe(UINT index, DispatchMemberInfo* info) const {
        if (info == nullptr) return E_POINTER;
        if (index >= m_entries.size()) return S_FALSE;
        const Entry& entry = m_entries[index];
        const DispatchMemberKind kind = !entry.property       ? DispatchMemberKind::Method
                                        : entry.put != nullptr ? DispatchMemberKind::Property
                                                               : DispatchMemberKind::ReadOnlyProperty;
        *info = {entry.name.c_str(), entry.dispId, kind, entry.type, static_cast<UINT>(entry.parameters.size()),
                 entry.parameters.data()};
        return S_OK;
    }

    HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const {
        if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0) return E_INVALIDARG;
        for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
        try {
            rgDispId[0] = IdOfName(Utf8FromOleString(rgszNames[0]));
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        // Argument names are not supported.
        return rgDispId[0] != DISPID_UNKNOWN && cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT Invoke(T& object, DISPID dispId, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   UINT* puArgErr) const {
        const Entry* entry = Find(dispId);
        if (entry == nullptr) return DISP_E_MEMBERNOTFOUND;
        const UINT count = pDispParams != nullptr ? pDispParams->cArgs : 0;
        const UINT named = pDispParams != nullptr ? pDispParams->cNamedArgs : 0;
        if (count > 0 && pDispParams->rgvarg == nullptr) return E_INVALIDARG;
        const bool put = (wFlags & DISPATCH_PROPERTYPUT) != 0;
        if (named > (put ? 1u : 0u)) return DISP_E_NONAMEDARGS;
        if (put && named == 1 &&
            (pDispParams->rgdispidNamedArgs == nullptr || pDispParams->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
            return DISP_E_PARAMNOTFOUND;
        }

        Caller caller = nullptr;
        if (put) {
            caller = entry->put;
        } else if ((wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0) {
            caller = entry->get;
        }
        if (caller == nullptr) return DISP_E_MEMBERNOTFOUND;
        try {
            // Natural order; copies share by-reference integers with the caller.
            std::vector<Variant> args(count);
            for (UINT i = 0; i < count; ++i) {
                const HRESULT hr = VariantCopy(args[i].Out(), &pDispParams->rgvarg[count - 1 - i]);
                if (FAILED(hr)) return hr;
            }
            Variant result;
            const HRESULT hr = caller(object, args, &result, puArgErr);
            if (SUCCEEDED(hr) && pVarResult != nullptr) *pVarResult = result.Detach();
            return hr;
        } catch (const DispatchFailure& failure) {
            return failure.hr;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return DISP_E_EXCEPTION;
        }
    }

private:
    std::vector<Entry> m_entries;
};

// Base of a heap-allocated automation object served by its class's table:
// T derives from DispatchObject<T> and answers Table() (a static table, or
// one of several chosen per object). The object starts with one reference
// and deletes itself on the last Release; QueryInterface answers IUnknown,
// IDispatch and IDispatchMembers (the table's description).
template <class T>
class DispatchObject : public IDispatch, public IDispatchMembers {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
        } else if (riid == IID_IDispatchMembers) {
            *ppv = static_cast<IDispatchMembers*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        return Self().Table().GetIDsOfNames(rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) override {
        return Self().Table().Invoke(Self(), dispIdMember, wFlags, pDispParams, pVarResult, puArgErr);
    }
    HRESULT STDMETHODCALLTYPE GetMember(UINT index, DispatchMemberInfo* info) override {
        return Self().Table().Describe(index, info);
    }

    ULONG RefCount() const noexcept { return m_refs.load(); }

protected:
    DispatchObject() = default;
    virtual ~DispatchObject() = default;
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

private:
    T& Self() noexcept { return static_cast<T&>(*this); }

    std::atomic<ULONG> m_refs{1};
};

}  // namespace qel::platform
