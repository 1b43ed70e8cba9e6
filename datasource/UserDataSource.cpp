#include <qel/datasource/UserDataSource.h>

#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include <qel/datasource/OdbcInstallerInternal.h>

namespace qel::datasource {

namespace {

bool Writable(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) == text.npos; }

// The user data source file: $ODBCINI, else ~/.odbc.ini, as the driver
// manager looks it up.
std::string UserIniPath() {
    if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') return ini;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return std::string(home) + "/.odbc.ini";
    return {};
}

bool HoldsPassword(const Attributes& attributes) {
    for (const auto& [name, value] : attributes)
        if (!value.empty() && IsPasswordKey(name)) return true;
    return false;
}

}  // namespace

bool IsPasswordKey(const std::string& name) {
    return ::strcasecmp(name.c_str(), "Password") == 0 || ::strcasecmp(name.c_str(), "PWD") == 0;
}

std::optional<Attributes> ReadUserDataSource(const std::string& dsn) {
    return installer::ReadDataSource(dsn.c_str());
}

bool WriteClientServerDataSource(const std::string& dsn, const Attributes& attributes) {
    if (dsn.empty() || !Writable(dsn) || dsn.find('=') != std::string::npos) return false;
    try {
        // The installer's attribute list: "key=value" strings, each ended by
        // a zero byte, the list by an empty one.
        std::string list = "DSN=" + dsn;
        list.push_back('\0');
        for (const auto& [name, value] : attributes) {
            if (name.empty() || name.find('=') != std::string::npos || !Writable(name) || !Writable(value))
                return false;
            list += name + "=" + value;
            list.push_back('\0');
        }
        list.push_back('\0');
        if (installer::ConfigDataSource(nullptr, installer::kAddDsn, kClientServerDriver, list.c_str()) == FALSE)
            return false;
        // The installer leaves the file readable by everyone; a password in
        // it is for its owner's eyes only.
        if (HoldsPassword(attributes)) {
            const std::string ini = UserIniPath();
            if (ini.empty() || ::chmod(ini.c_str(), S_IRUSR | S_IWUSR) != 0) return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace qel::datasource
