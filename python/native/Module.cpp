// _qeldb: the native half of the qeldb package. It holds automation objects
// (Object), wraps Python objects for the component (PythonCallback), and
// offers the in-process server's own entry points; qeldb/__init__.py builds
// the Python face on it.
#include <fmt/format.h>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <qel/frame/EntryPoints.h>
#include <qel/outside/Log.h>
#include <qel/platform/ComActivation.h>
#include <qel/platform/Registry.h>

#include "native/AutomationObject.h"
#include "native/Records.h"
#include "native/Wrapper.h"
#include "tools/qeldb/UserFolders.h"

namespace py = pybind11;
using qel::python::AutomationObject;
using qel::python::CallError;
using qel::python::MemberInfo;

namespace qel::python {

namespace {

py::handle& WrapperClass() {
    static py::handle cls;  // one reference kept for the process
    return cls;
}

// The qeldb exception for a failed call, built by qeldb._errors so that the
// Python side chooses the class (DispatchError, or a subclass).
void Raise(const CallError& error) {
    py::object make = py::module_::import("qeldb._errors").attr("make_error");
    py::object exception = make(error.hr, error.member, error.argument < 0 ? py::object(py::none())
                                                                          : py::object(py::int_(error.argument)),
                                error.Message());
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
}

// What `qeldb register` does: the classes and this library's path into the
// current user's registry file.
std::string Register() {
    auto& registry = qel::platform::Registry::CurrentUser();
    if (const std::string problem = registry.Problem(); !problem.empty()) throw std::runtime_error(problem);
    CLSID clsid{};
    if (FAILED(DllRegisterServer()) || FAILED(CLSIDFromProgID("QEL.Database", &clsid)))
        throw std::runtime_error(fmt::format("the registry file {} could not be written", registry.FilePath()));
    return qel::platform::InprocServerPath(clsid);
}

py::object Members(const AutomationObject& object) {
    const auto& members = object.Members();
    if (!members) return py::none();
    return py::cast(*members);
}

py::object Member(const AutomationObject& object, DISPID dispId) {
    object.Members();  // checks the thread
    const MemberInfo* member = object.Member(dispId);
    return member != nullptr ? py::cast(*member) : py::object(py::none());
}

}  // namespace

void SetWrapperClass(py::handle cls) {
    WrapperClass().dec_ref();
    WrapperClass() = cls;
    WrapperClass().inc_ref();
}

py::object WrapObject(AutomationObject object) {
    py::object plain = py::cast(std::move(object));
    if (!WrapperClass()) return plain;
    return WrapperClass()(plain);
}

const AutomationObject* AsAutomationObject(py::handle value) {
    if (!py::isinstance<AutomationObject>(value)) return nullptr;
    return &value.cast<const AutomationObject&>();
}

}  // namespace qel::python

PYBIND11_MODULE(_qeldb, m) {
    m.doc() = "The native half of the qeldb package (use the qeldb package itself)";

    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) std::rethrow_exception(pending);
        } catch (const CallError& error) {
            qel::python::Raise(error);
        }
    });

    py::class_<MemberInfo>(m, "Member", "One member of an automation object, as the object describes it")
        .def_readonly("name", &MemberInfo::name)
        .def_readonly("dispid", &MemberInfo::dispId)
        .def_readonly("kind", &MemberInfo::kind, "\"method\", \"property\" or \"readonly\"")
        .def_readonly("type", &MemberInfo::type, "the property's type or the method's result")
        .def_readonly("parameters", &MemberInfo::parameters)
        .def("__repr__", [](const MemberInfo& member) {
            return fmt::format("<Member {} {} ({}) {}({})>", member.dispId, member.name, member.kind, member.type,
                               fmt::join(member.parameters, ", "));
        });

    py::class_<AutomationObject>(m, "Object", "One reference to an automation object")
        .def(py::init<const AutomationObject&>(), py::arg("other"), "Shares the object of `other`")
        .def_static("_create", &AutomationObject::Create, py::arg("progid"))
        .def("_id_of_name", &AutomationObject::IdOfName, py::arg("name"))
        .def("_members", &qel::python::Members)
        .def("_member", &qel::python::Member, py::arg("dispid"))
        .def("_call", &AutomationObject::Call, py::arg("dispid"), py::arg("flags"), py::arg("args"))
        .def("_put", &AutomationObject::Put, py::arg("dispid"), py::arg("value"))
        .def("_same", &AutomationObject::SameObject, py::arg("other"))
        .def_property_readonly("_thread", &AutomationObject::Thread);

    m.def("_set_wrapper", &qel::python::SetWrapperClass, py::arg("cls"));
    m.def("register", &qel::python::Register,
          "Registers the component's classes and library in the registry file, as `qeldb register` does; "
          "returns the library's path");
    m.def("can_unload_now", [] { return DllCanUnloadNow() == S_OK; },
          "True when no object of the component exists and no lock is held (DllCanUnloadNow)");
    m.def("free_unused_libraries", [] { CoFreeUnusedLibraries(); },
          "Unloads the loaded servers whose DllCanUnloadNow answers so (CoFreeUnusedLibraries)");
    m.def("registry_file", [] { return qel::platform::Registry::CurrentUser().FilePath(); },
          "The current user's registry file");

    m.def("data_folder", &DataFolder,
          "The user's data folder, as the qeldb program finds it ($QEL_DATA_DIR, else the XDG data folder); "
          "empty when none is known");
    m.def("log_file", &qel::outside::LogFilePath, "The component's log file");

    m.attr("DISPATCH_METHOD") = DISPATCH_METHOD;
    m.attr("DISPATCH_PROPERTYGET") = DISPATCH_PROPERTYGET;
    m.attr("DISPATCH_PROPERTYPUT") = DISPATCH_PROPERTYPUT;

    qel::python::AddRecords(m);
}
