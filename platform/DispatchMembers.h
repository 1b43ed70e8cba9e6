// What an automation object tells a late-bound client about its members:
// name, dispatch number, kind and the automation type of the value and of
// each parameter. A client that knows only names (a script engine, the
// Python package) learns from it which parameters are out-parameters and
// how to convert what it is given, without a copy of the signatures.
//
// It is a separate interface reached through QueryInterface, as a type
// description is on any automation object; an object without it is still
// driven by name, with the caller passing every argument itself:
//
//     if (const auto members = qel::platform::DescribedMembers(object))
//         for (const DispatchMemberInfo& info : *members) ...
//
// The texts and arrays of a DispatchMemberInfo belong to the object's class
// and stay valid while the library that serves it is loaded.
#pragma once

#include <optional>
#include <vector>

#include <qel/platform/Com.h>
#include <qel/platform/ComPtr.h>
#include <qel/platform/Dispatch.h>
#include <qel/platform/WinTypes.h>

namespace qel::platform {

// The automation type of a parameter, result or property.
enum class DispType { Void, Short, Long, Bool, Date, String, Dispatch, LongOut, Variant };

// How a type is named in a type library: short, long, BOOL, DATE, BSTR,
// IDispatch*, long* (an out-parameter passed by reference), VARIANT, void.
inline const char* DispTypeName(DispType type) noexcept {
    switch (type) {
        case DispType::Void: return "void";
        case DispType::Short: return "short";
        case DispType::Long: return "long";
        case DispType::Bool: return "BOOL";
        case DispType::Date: return "DATE";
        case DispType::String: return "BSTR";
        case DispType::Dispatch: return "IDispatch*";
        case DispType::LongOut: return "long*";
        case DispType::Variant: return "VARIANT";
    }
    return "?";
}

}  // namespace qel::platform

enum class DispatchMemberKind : int { Method = 0, Property = 1, ReadOnlyProperty = 2 };

struct DispatchMemberInfo {
    const char* name;
    DISPID dispId;
    DispatchMemberKind kind;
    qel::platform::DispType type;  // a property's type, a method's result
    UINT parameterCount;           // a method's parameters; 0 for a property
    const qel::platform::DispType* parameters;
};

struct IDispatchMembers : IUnknown {
    // The member at `index` in table order: S_OK, or S_FALSE past the last
    // (info is then left alone). E_POINTER for a null info.
    virtual HRESULT STDMETHODCALLTYPE GetMember(UINT index, DispatchMemberInfo* info) = 0;

protected:
    ~IDispatchMembers() = default;
};

// {5B7C1E2A-3F48-4C1D-9E0B-6A2D8F4C7E13}
inline constexpr IID IID_IDispatchMembers = {
    0x5B7C1E2A, 0x3F48, 0x4C1D, {0x9E, 0x0B, 0x6A, 0x2D, 0x8F, 0x4C, 0x7E, 0x13}};

namespace qel::platform {

// Every member `object` describes, in table order; nullopt when it does not
// describe its members.
inline std::optional<std::vector<DispatchMemberInfo>> DescribedMembers(IDispatch* object) {
    IDispatchMembers* raw = nullptr;
    if (object == nullptr || FAILED(object->QueryInterface(IID_IDispatchMembers, reinterpret_cast<void**>(&raw))))
        return std::nullopt;
    const auto described = ComPtr<IDispatchMembers>::Adopt(raw);
    std::vector<DispatchMemberInfo> members;
    DispatchMemberInfo info{};
    for (UINT i = 0; described->GetMember(i, &info) == S_OK; ++i) members.push_back(info);
    return members;
}

}  // namespace qel::platform
