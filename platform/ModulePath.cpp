#include <qel/platform/ModulePath.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qel::platform {

std::string ModuleFileName() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string ModuleFolder() {
    if (const char* dir = std::getenv("QEL_MODULE_DIR"); dir != nullptr && *dir != '\0') {
        std::string folder = dir;
        if (folder.back() != '/') folder += '/';
        return folder;
    }
    const std::string file = ModuleFileName();
    const auto slash = file.rfind('/');
    // A path whose only slash is its first character names no folder to use.
    if (slash == std::string::npos || slash == 0) return {};
    return file.substr(0, slash + 1);
}

}  // namespace qel::platform
