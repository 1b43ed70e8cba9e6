// The Python class that automation objects are handed out as. The package
// registers its client class (a subclass of _qeldb.Object) at import, so an
// object that comes back from a call (a VT_DISPATCH result) has the same
// attribute access as one made by qeldb.Dispatch.
#pragma once

#include <pybind11/pybind11.h>

#include "native/AutomationObject.h"

namespace qel::python {

void SetWrapperClass(pybind11::handle cls);
// The object as an instance of the registered class (a plain _qeldb.Object
// before one is registered).
pybind11::object WrapObject(AutomationObject object);
// The AutomationObject inside a _qeldb.Object (or subclass); null for any
// other value.
const AutomationObject* AsAutomationObject(pybind11::handle value);

}  // namespace qel::python
