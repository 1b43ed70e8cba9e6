#include "tools/qeldb/UserFolders.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string DataFolder() {
    if (std::string data = Env("QEL_DATA_DIR"); !data.empty()) return data;
    if (std::string xdg = Env("XDG_DATA_HOME"); !xdg.empty()) return (fs::path(xdg) / "talveni").string();
    if (std::string home = Env("HOME"); !home.empty()) return (fs::path(home) / ".local/share/talveni").string();
    return {};
}
