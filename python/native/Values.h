// Python values <-> automation values, converted the way automation clients
// convert them:
//
//     None <-> VT_EMPTY          bool <-> VT_BOOL        int <-> VT_I4 (VT_I2 read as int)
//     float <-> VT_R8            str <-> VT_BSTR
//     datetime.datetime / datetime.date -> VT_DATE -> datetime.datetime
//     a qeldb object -> its own IDispatch; any other object -> a PythonCallback
//     VT_DISPATCH -> the Python object it wraps, else an AutomationObject in
//                    the package's client class (native/Wrapper.h)
//
// A value that has no automation form (a list, bytes, an int beyond 32 bits)
// is refused with a ConversionError naming why; the caller adds which
// argument it was.
#pragma once

#include <stdexcept>
#include <string>

#include <pybind11/pybind11.h>

#include <qel/platform/Dispatch.h>

namespace qel::python {

struct ConversionError : std::runtime_error {
    ConversionError(HRESULT code, const std::string& why) : std::runtime_error(why), hr(code) {}
    HRESULT hr;  // DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW
};

// Throws ConversionError.
qel::platform::Variant ToVariant(pybind11::handle value);
// A by-reference integer reads as its value; an unknown type as None.
pybind11::object FromVariant(const qel::platform::Variant& value);

}  // namespace qel::python
