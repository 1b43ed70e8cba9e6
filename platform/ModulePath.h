// Where the host program lives: the folder of the running executable, from
// which the component imports the default page layouts of a new database.
// QEL_MODULE_DIR overrides it (tests, and hosts that keep their layouts
// elsewhere).
#pragma once

#include <string>

#include <qel/platform/Export.h>

namespace qel::platform {

// Full path of the running executable; empty when it cannot be read.
QEL_API std::string ModuleFileName();
// The executable's folder with a trailing '/', or $QEL_MODULE_DIR; empty
// when neither is known.
QEL_API std::string ModuleFolder();

}  // namespace qel::platform
