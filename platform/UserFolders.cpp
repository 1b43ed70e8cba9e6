#include <qel/platform/UserFolders.h>

#include <qel/platform/ApplicationIdentity.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace qel::platform {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    struct passwd entry {};
    struct passwd* result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr)
        return result->pw_dir;
    return {};
}

std::string XdgFolder(const char* variable, const char* underHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    if (underHome == nullptr) return {};
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : (std::filesystem::path(home) / underHome).string();
}

std::string ApplicationFolder(const char* variable, const char* underHome) {
    const std::string base = XdgFolder(variable, underHome);
    return base.empty() ? std::string() : (std::filesystem::path(base) / CurrentApplicationIdentity().folder).string();
}

}  // namespace qel::platform
