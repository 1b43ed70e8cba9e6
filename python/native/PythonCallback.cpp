#include "native/PythonCallback.h"

#include <new>

#include <qel/platform/Bstr.h>

#include "native/Values.h"

namespace py = pybind11;
using qel::platform::Variant;

namespace qel::python {

namespace {

// The attribute of `target` that `name` names: itself when the object has
// it, else the first attribute that matches without regard to ASCII case.
std::string FindAttribute(py::handle target, const std::string& name) {
    if (py::hasattr(target, name.c_str())) return name;
    for (py::handle attribute : py::reinterpret_steal<py::list>(PyObject_Dir(target.ptr()))) {
        const std::string candidate = py::str(attribute);
        if (qel::platform::SameMemberName(candidate, name)) return candidate;
    }
    return {};
}

void Describe(EXCEPINFO* excepInfo, const std::string& text) {
    if (excepInfo == nullptr) return;
    *excepInfo = {};
    excepInfo->scode = DISP_E_EXCEPTION;
    excepInfo->bstrSource = qel::platform::BstrFromUtf8("Python");
    excepInfo->bstrDescription = qel::platform::BstrFromUtf8(text);
}

}  // namespace

PythonCallback::PythonCallback(py::handle target) : m_target(py::reinterpret_borrow<py::object>(target)) {}

PythonCallback::~PythonCallback() {
    // After the interpreter has finished, the reference can only be let go.
    if (!Py_IsInitialized()) {
        m_target.release();
        return;
    }
    py::gil_scoped_acquire locked;
    m_target = py::object();
}

IDispatch* PythonCallback::Wrap(py::handle target) { return new PythonCallback(target); }

py::object PythonCallback::Unwrap(IDispatch* dispatch) {
    void* found = nullptr;
    if (dispatch == nullptr || FAILED(dispatch->QueryInterface(IID_PythonObject, &found))) return {};
    auto* callback = static_cast<PythonCallback*>(found);
    py::object target = callback->m_target;
    callback->Release();
    return target;
}

HRESULT PythonCallback::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_PythonObject) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG PythonCallback::AddRef() { return ++m_refs; }

ULONG PythonCallback::Release() {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

HRESULT PythonCallback::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0) return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    py::gil_scoped_acquire locked;
    try {
        const std::string name = FindAttribute(m_target, qel::platform::Utf8FromOleString(rgszNames[0]));
        if (name.empty()) return DISP_E_UNKNOWNNAME;
        size_t index = 0;
        while (index < m_names.size() && m_names[index] != name) ++index;
        if (index == m_names.size()) m_names.push_back(name);
        rgDispId[0] = static_cast<DISPID>(index + 1);
        return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable("looking up a member of a qeldb callback object");
        return DISP_E_UNKNOWNNAME;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT PythonCallback::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                               VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT*) {
    py::gil_scoped_acquire locked;
    if (dispIdMember < 1 || static_cast<size_t>(dispIdMember) > m_names.size()) return DISP_E_MEMBERNOTFOUND;
    const std::string name = m_names[static_cast<size_t>(dispIdMember) - 1];
    try {
        return InvokeHeld(name, wFlags, pDispParams, pVarResult);
    } catch (py::error_already_set& error) {
        Describe(pExcepInfo, error.what());
        error.discard_as_unraisable(py::str("calling " + name + " of a qeldb callback object"));
        return DISP_E_EXCEPTION;
    } catch (const ConversionError& error) {
        Describe(pExcepInfo, error.what());
        PyErr_SetString(PyExc_TypeError, ("the answer of " + name + " has no automation form: " + error.what()).c_str());
        PyErr_WriteUnraisable(py::str("a qeldb callback object").ptr());
        return error.hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT PythonCallback::InvokeHeld(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT* result) {
    const UINT count = params != nullptr ? params->cArgs : 0;
    if (count > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
    // Natural order: DISPPARAMS holds the last argument first.
    py::tuple args(count);
    for (UINT i = 0; i < count; ++i) {
        Variant copy;
        VariantCopy(copy.Out(), &params->rgvarg[count - 1 - i]);
        args[i] = FromVariant(copy);
    }

    if ((flags & DISPATCH_PROPERTYPUT) != 0) {
        if (count != 1) return DISP_E_BADPARAMCOUNT;
        py::setattr(m_target, name.c_str(), args[0]);
        return S_OK;
    }
    py::object attribute = m_target.attr(name.c_str());
    py::object answer;
    if ((flags & DISPATCH_METHOD) != 0 && PyCallable_Check(attribute.ptr())) {
        answer = attribute(*args);
    } else if ((flags & DISPATCH_PROPERTYGET) != 0 && count == 0) {
        answer = attribute;
    } else {
        return DISP_E_MEMBERNOTFOUND;
    }
    Variant converted = ToVariant(answer);
    if (result != nullptr) *result = converted.Detach();
    return S_OK;
}

}  // namespace qel::python
