// qeldb.records: what the automation members do not reach, from the native
// API of the same process: a cached patient's or doctor's data and the
// patient import of `qeldb patients import`. Each call names the database
// object by its GetPtr value, so it reaches the object only in the library
// this module links (the one `qeldb.register()` registers).
#pragma once

#include <pybind11/pybind11.h>

namespace qel::python {

void AddRecords(pybind11::module_& module);

}  // namespace qel::python
