#include <qel/datasource/DataSourceName.h>

#include <string_view>

#include <fmt/format.h>

namespace qel::datasource {

namespace {

// The characters the ODBC installer refuses in a data source name.
constexpr std::string_view kForbidden = "[]{}(),;?*=!@\\";

// The name as a message shows it: long names cut, control characters escaped.
std::string Shown(const std::string& name) {
    constexpr std::size_t kShown = 40;
    std::string shown;
    for (std::size_t i = 0; i < name.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        shown += c < 0x20 || c == 0x7f ? fmt::format("\\x{:02x}", c) : std::string(1, name[i]);
    }
    return name.size() > kShown ? shown + "..." : shown;
}

}  // namespace

std::string DataSourceNameProblem(const std::string& name) {
    if (name.empty()) return "the data source name is empty";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return fmt::format("data source name \"{}\" holds a control character", Shown(name));
        if (kForbidden.find(c) != std::string_view::npos)
            return fmt::format("data source name \"{}\" holds '{}'; ODBC data source names cannot hold any of {}",
                               Shown(name), c, kForbidden);
    }
    if (name.size() > kMaxDataSourceName)
        return fmt::format("data source name \"{}\" is {} bytes long; ODBC takes at most {}", Shown(name), name.size(),
                           kMaxDataSourceName);
    return {};
}

}  // namespace qel::datasource
