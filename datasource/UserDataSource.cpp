#include <qel/datasource/UserDataSource.h>


#include <exception>
#include <string>
#include <string_view>

#include <qel/datasource/OdbcInstallerInternal.h>
#include <qel/platform/AsciiText.h>

namespace qel::datasource {

namespace {

bool Writable(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) == text.npos; }

}  // namespace

bool IsPasswordKey(const std::string& name) {
    return qel::platform::EqualsNoCase(name, "Password") || qel::platform::EqualsNoCase(name, "PWD");
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
        // The file loses group and other access while it holds a password.
        return installer::ConfigDataSource(nullptr, installer::kAddDsn, kClientServerDriver, list.c_str()) != FALSE;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace qel::datasource
