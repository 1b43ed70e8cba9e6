// AutomationObject: one reference to an automation object, as Python holds
// it. Members are reached by dispatch number (the name is turned into one
// with GetIDsOfNames); when the object describes its members
// (IDispatchMembers), a method's long* out-parameters are supplied here and
// come back after the result:
//
//     AutomationObject db = AutomationObject::Create("QEL.Database");
//     py::object answer = db.Call(db.IdOfName("GetPatientCount"), DISPATCH_METHOD, py::tuple());
//     // answer == (True, 36)
//
// The object is used only on the thread that created it; a call from any
// other thread is refused with RPC_E_WRONG_THREAD before it reaches the
// object. Failures of the call itself throw CallError; a member that fails
// in the component's own convention returns False and leaves lErrorCode, as
// for any client. Calls are made without the interpreter lock, so other
// Python threads run meanwhile; the callbacks take it back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include <qel/platform/ComPtr.h>
#include <qel/platform/DispatchErrorText.h>
#include <qel/platform/Dispatch.h>
#include <qel/platform/DispatchMembers.h>

namespace qel::python {

// A failed call: the HRESULT, the member it was for and, when one argument
// was refused, that argument's position among the caller's arguments.
struct CallError {
    HRESULT hr;
    std::string member;
    int argument = -1;
    std::string detail;  // more than the HRESULT's meaning, when known

    std::string Message() const;
};

// One member as the object describes it. kind is "method", "property" or
// "readonly"; types are named as in a type library (BOOL, long, long*, ...).
struct MemberInfo {
    std::string name;
    DISPID dispId = DISPID_UNKNOWN;
    std::string kind;
    std::string type;
    std::vector<std::string> parameters;
    std::vector<qel::platform::DispType> parameterTypes;

    // The parameters a caller passes: all but the long* out-parameters.
    size_t InCount() const;
};

class AutomationObject {
public:
    // Takes over one reference of `dispatch`, used from the calling thread.
    explicit AutomationObject(qel::platform::ComPtr<IDispatch> dispatch);

    // Creates a registered class by ProgID: the registry lookup, the
    // registered library, its class factory. Throws CallError.
    static AutomationObject Create(const std::string& progId);

    IDispatch* Get() const { return m_dispatch.Get(); }
    unsigned long Thread() const { return m_thread; }
    // Whether both hold the same object (compared by IUnknown).
    bool SameObject(const AutomationObject& other) const;

    DISPID IdOfName(const std::string& name) const;
    // Every member; nullopt when the object does not describe them.
    const std::optional<std::vector<MemberInfo>>& Members() const;
    const MemberInfo* Member(DISPID dispId) const;

    // A method call or property read (flags) with the caller's arguments.
    pybind11::object Call(DISPID dispId, WORD flags, const pybind11::tuple& args) const;
    void Put(DISPID dispId, pybind11::handle value) const;

private:
    void CheckThread(const std::string& member) const;
    std::string NameOf(DISPID dispId) const;
    void LoadMembers() const;

    qel::platform::ComPtr<IDispatch> m_dispatch;
    unsigned long m_thread;
    mutable bool m_membersLoaded = false;
    mutable std::optional<std::vector<MemberInfo>> m_members;
};

}  // namespace qel::python
