// PythonCallback: a Python object seen by the component as an automation
// object, the way a callback object written in a script is. Any attribute is
// a member: GetIDsOfNames finds it by name (exactly, else without regard to
// ASCII case), a method call calls it, a property get reads it and a put sets
// it. So an object with OnMessage(type, p1, p2, p3), lErrorCode and strError
// serves as the database object's callback:
//
//     class Callback:
//         lErrorCode = 0
//         strError = ""
//         def OnMessage(self, type, p1, p2, p3): ...
//     db.objDatabaseCallback = Callback()
//
// The wrapper holds one reference to the Python object and is itself
// reference counted by the component; the last Release drops the Python
// reference (with the interpreter lock). An exception raised by the Python
// code goes to sys.unraisablehook and the call answers DISP_E_EXCEPTION, with
// the exception's text in EXCEPINFO when the caller asked for it: the
// component sees a failed call, never a crash.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include <qel/platform/Dispatch.h>

namespace qel::python {

// Answered by QueryInterface of a PythonCallback only: lets a value coming
// back from the component be unwrapped into the Python object it holds.
// {8E3A5C61-2B94-4F0E-A7D2-1C6B9E4F3A05}
inline constexpr IID IID_PythonObject = {
    0x8E3A5C61, 0x2B94, 0x4F0E, {0xA7, 0xD2, 0x1C, 0x6B, 0x9E, 0x4F, 0x3A, 0x05}};

class PythonCallback final : public IDispatch {
public:
    // A new wrapper with one reference, for the caller.
    static IDispatch* Wrap(pybind11::handle target);
    // The Python object behind `dispatch` when it is a PythonCallback;
    // null otherwise.
    static pybind11::object Unwrap(IDispatch* dispatch);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override;

private:
    explicit PythonCallback(pybind11::handle target);
    ~PythonCallback();

    // Invoke with the lock held; Python errors propagate as exceptions.
    HRESULT InvokeHeld(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result);

    pybind11::object m_target;
    std::atomic<ULONG> m_refs{1};
    // Dispatch number n + 1 is the attribute name m_names[n].
    std::vector<std::string> m_names;
};

}  // namespace qel::python
