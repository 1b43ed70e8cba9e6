#include "native/AutomationObject.h"

#include <fmt/core.h>

#include <qel/platform/Bstr.h>
#include <qel/platform/ComActivation.h>
#include <qel/platform/DispatchErrorText.h>
#include <qel/platform/Registry.h>

#include "native/Values.h"

namespace py = pybind11;
using qel::platform::ComPtr;
using qel::platform::DispType;
using qel::platform::Variant;

namespace qel::python {

std::string CallError::Message() const {
    std::string words = qel::platform::DispatchErrorText(hr);
    std::string text = fmt::format("{}: {}", member, words.empty() ? "the call failed" : words);
    if (argument >= 0) text += fmt::format(" (argument {})", argument);
    if (!detail.empty()) text += ": " + detail;
    return text + fmt::format(" [HRESULT 0x{:08X}]", static_cast<unsigned>(hr));
}

size_t MemberInfo::InCount() const {
    size_t count = 0;
    for (DispType parameter : parameterTypes) count += parameter != DispType::LongOut ? 1 : 0;
    return count;
}

AutomationObject::AutomationObject(ComPtr<IDispatch> dispatch)
    : m_dispatch(std::move(dispatch)), m_thread(PyThread_get_thread_ident()) {}

AutomationObject AutomationObject::Create(const std::string& progId) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) {
        throw CallError{hr, progId, -1,
                        fmt::format("not found in {}; run qeldb.register() or `qeldb register` first",
                                    qel::platform::Registry::CurrentUser().FilePath())};
    }
    IDispatch* raw = nullptr;
    {
        py::gil_scoped_release unlocked;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&raw));
    }
    if (FAILED(hr)) {
        throw CallError{hr, progId, -1, qel::platform::InprocServerPath(clsid)};
    }
    return AutomationObject(ComPtr<IDispatch>::Adopt(raw));
}

bool AutomationObject::SameObject(const AutomationObject& other) const {
    auto identity = [](IDispatch* dispatch) {
        IUnknown* unknown = nullptr;
        if (dispatch == nullptr || FAILED(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown))))
            return static_cast<IUnknown*>(nullptr);
        unknown->Release();  // only the address is compared
        return unknown;
    };
    return identity(Get()) == identity(other.Get());
}

void AutomationObject::CheckThread(const std::string& member) const {
    const unsigned long here = PyThread_get_thread_ident();
    if (here == m_thread) return;
    throw CallError{RPC_E_WRONG_THREAD, member, -1,
                    fmt::format("it was created on thread {} and is called from thread {}; call it from the thread "
                                "that created it",
                                m_thread, here)};
}

DISPID AutomationObject::IdOfName(const std::string& name) const {
    CheckThread(name);
    DISPID dispId = DISPID_UNKNOWN;
    const HRESULT hr = qel::platform::GetDispatchID(Get(), name, &dispId);
    if (FAILED(hr)) throw CallError{hr, name, -1, {}};
    return dispId;
}

void AutomationObject::LoadMembers() const {
    if (m_membersLoaded) return;
    m_membersLoaded = true;
    const auto described = qel::platform::DescribedMembers(Get());
    if (!described) return;
    std::vector<MemberInfo> members;
    for (const DispatchMemberInfo& info : *described) {
        MemberInfo member;
        member.name = info.name;
        member.dispId = info.dispId;
        member.kind = info.kind == DispatchMemberKind::Method     ? "method"
                      : info.kind == DispatchMemberKind::Property ? "property"
                                                                  : "readonly";
        member.type = qel::platform::DispTypeName(info.type);
        for (UINT p = 0; p < info.parameterCount; ++p) {
            member.parameterTypes.push_back(info.parameters[p]);
            member.parameters.emplace_back(qel::platform::DispTypeName(info.parameters[p]));
        }
        members.push_back(std::move(member));
    }
    m_members = std::move(members);
}

const std::optional<std::vector<MemberInfo>>& AutomationObject::Members() const {
    CheckThread("members");
    LoadMembers();
    return m_members;
}

const MemberInfo* AutomationObject::Member(DISPID dispId) const {
    LoadMembers();
    if (!m_members) return nullptr;
    for (const MemberInfo& member : *m_members)
        if (member.dispId == dispId) return &member;
    return nullptr;
}

std::string AutomationObject::NameOf(DISPID dispId) const {
    const MemberInfo* member = Member(dispId);
    return member != nullptr ? member->name : fmt::format("member {}", dispId);
}

py::object AutomationObject::Call(DISPID dispId, WORD flags, const py::tuple& args) const {
    const std::string name = NameOf(dispId);
    CheckThread(name);
    const MemberInfo* member = Member(dispId);
    // The out-parameters are supplied only when the caller passed exactly
    // the others; any other count goes to the object as given, which answers
    // it as it answers every client.
    const bool supplyOuts =
        member != nullptr && member->kind == "method" && member->InCount() == args.size() &&
        member->parameterTypes.size() != args.size();
    const size_t count = supplyOuts ? member->parameterTypes.size() : args.size();

    std::vector<LONG> outs(count, 0);
    std::vector<int> callerIndex(count, -1);
    std::vector<Variant> values(count);
    size_t given = 0;
    for (size_t i = 0; i < count; ++i) {
        if (supplyOuts && member->parameterTypes[i] == DispType::LongOut) {
            values[i] = Variant::ByRef(&outs[i]);
            continue;
        }
        callerIndex[i] = static_cast<int>(given);
        try {
            values[i] = ToVariant(args[given]);
        } catch (const ConversionError& error) {
            throw CallError{error.hr, name, static_cast<int>(given), error.what()};
        }
        ++given;
    }

    Variant result;
    UINT refused = UINT(-1);
    HRESULT hr;
    {
        py::gil_scoped_release unlocked;
        hr = qel::platform::InvokeByID(Get(), dispId, flags, values, &result, &refused);
    }
    if (FAILED(hr)) {
        const int argument = refused < count ? callerIndex[refused] : -1;
        throw CallError{hr, name, argument, {}};
    }

    py::object answer = FromVariant(result);
    if (!supplyOuts) return answer;
    py::list parts;
    if (member->type != "void") parts.append(answer);
    for (size_t i = 0; i < count; ++i)
        if (member->parameterTypes[i] == DispType::LongOut) parts.append(py::int_(outs[i]));
    return parts.size() == 1 ? py::object(parts[0]) : py::object(py::tuple(parts));
}

void AutomationObject::Put(DISPID dispId, py::handle value) const {
    const std::string name = NameOf(dispId);
    CheckThread(name);
    Variant converted;
    try {
        converted = ToVariant(value);
    } catch (const ConversionError& error) {
        throw CallError{error.hr, name, 0, error.what()};
    }
    HRESULT hr;
    {
        py::gil_scoped_release unlocked;
        hr = qel::platform::InvokeByID(Get(), dispId, DISPATCH_PROPERTYPUT, std::span<const Variant>(&converted, 1),
                                       nullptr);
    }
    if (FAILED(hr)) throw CallError{hr, name, hr == DISP_E_TYPEMISMATCH ? 0 : -1, {}};
}

}  // namespace qel::python
