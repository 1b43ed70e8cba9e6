#include "native/Values.h"

#include <limits>

#include <fmt/core.h>

#include <qel/platform/ComPtr.h>
#include <qel/platform/OleDate.h>

#include "native/AutomationObject.h"
#include "native/PythonCallback.h"
#include "native/Wrapper.h"

namespace py = pybind11;
using qel::platform::Variant;

namespace qel::python {

namespace {

// The datetime classes, looked up once and kept for the process (a static
// py::object would be released after the interpreter is gone).
struct DateTimeClasses {
    py::handle datetime;
    py::handle date;
};

const DateTimeClasses& DateTime() {
    static const DateTimeClasses classes = [] {
        py::module_ module = py::module_::import("datetime");
        return DateTimeClasses{py::object(module.attr("datetime")).release(), py::object(module.attr("date")).release()};
    }();
    return classes;
}

int IntAttribute(py::handle value, const char* name) { return value.attr(name).cast<int>(); }

Variant DateVariant(py::handle value, bool withTime) {
    DATE date = 0;
    const bool ok = qel::platform::DateFromParts(
        IntAttribute(value, "year"), IntAttribute(value, "month"), IntAttribute(value, "day"),
        withTime ? IntAttribute(value, "hour") : 0, withTime ? IntAttribute(value, "minute") : 0,
        withTime ? IntAttribute(value, "second") : 0, &date);
    if (!ok) throw ConversionError(DISP_E_OVERFLOW, fmt::format("{} is outside the automation date range",
                                                                py::str(value).cast<std::string>()));
    return Variant(Variant::Date{date});
}

py::object DateObject(DATE date) {
    qel::platform::DateParts parts;
    if (!qel::platform::PartsFromDate(date, &parts)) return py::float_(date);
    return DateTime().datetime(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
}

py::object DispatchObject(IDispatch* dispatch) {
    if (dispatch == nullptr) return py::none();
    if (py::object target = PythonCallback::Unwrap(dispatch)) return target;
    return WrapObject(AutomationObject(qel::platform::ComPtr<IDispatch>(dispatch)));
}

}  // namespace

Variant ToVariant(py::handle value) {
    if (value.is_none()) return Variant();
    if (py::isinstance<py::bool_>(value)) return Variant(Variant::Bool{value.cast<bool>()});
    if (py::isinstance<py::int_>(value)) {
        const long long number = PyLong_AsLongLong(value.ptr());
        if (PyErr_Occurred() != nullptr || number < std::numeric_limits<LONG>::min() ||
            number > std::numeric_limits<LONG>::max()) {
            PyErr_Clear();
            throw ConversionError(DISP_E_OVERFLOW,
                                  fmt::format("{} does not fit a 32-bit long", py::str(value).cast<std::string>()));
        }
        return Variant(static_cast<LONG>(number));
    }
    if (py::isinstance<py::float_>(value)) return Variant(value.cast<double>());
    if (py::isinstance<py::str>(value)) return Variant(std::string_view(value.cast<std::string>()));
    if (py::isinstance(value, DateTime().datetime)) return DateVariant(value, true);
    if (py::isinstance(value, DateTime().date)) return DateVariant(value, false);
    if (const AutomationObject* object = AsAutomationObject(value)) return Variant(object->Get());
    // Containers and raw data have no automation form; any other object is
    // handed over as an automation object of its own.
    if (py::isinstance<py::bytes>(value) || py::isinstance<py::bytearray>(value) || PySequence_Check(value.ptr()) ||
        PyMapping_Check(value.ptr()) || PyAnySet_Check(value.ptr()) || PyComplex_Check(value.ptr())) {
        throw ConversionError(DISP_E_TYPEMISMATCH, fmt::format("a {} has no automation form",
                                                               py::type::of(value).attr("__name__").cast<std::string>()));
    }
    return Variant::FromDispatch(PythonCallback::Wrap(value));
}

py::object FromVariant(const Variant& value) {
    const VARIANT& raw = value.Raw();
    switch (raw.vt) {
        case VT_EMPTY: return py::none();
        case VT_BOOL: return py::bool_(raw.boolVal != VARIANT_FALSE);
        case VT_I2: return py::int_(raw.iVal);
        case VT_I4: return py::int_(raw.lVal);
        case VT_BYREF | VT_I4: return py::int_(raw.plVal != nullptr ? *raw.plVal : 0);
        case VT_R8: return py::float_(raw.dblVal);
        case VT_DATE: return DateObject(raw.date);
        case VT_BSTR: {
            std::string text;
            value.ToString(&text);
            return py::str(text);
        }
        case VT_DISPATCH: return DispatchObject(raw.pdispVal);
        default: return py::none();
    }
}

}  // namespace qel::python
