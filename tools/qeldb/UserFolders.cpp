#include "tools/qeldb/UserFolders.h"

#include <cstdlib>

#include <qel/platform/UserFolders.h>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string DataFolder() {
    if (std::string data = Env("QEL_DATA_DIR"); !data.empty()) return data;
    return qel::platform::ApplicationFolder("XDG_DATA_HOME", ".local/share");
}
