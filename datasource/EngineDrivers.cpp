#include <qel/datasource/EngineDrivers.h>

#include <fmt/format.h>

namespace qel::datasource {

std::string DriverName(LONG engine) {
    switch (engine) {
        case kEngineClientServer: return kClientServerDriver;
        case kEngineFile: return kFileDriver;
        default: return {};
    }
}

Attributes FileEngineStandingAttributes() {
    return {
        {"StepAPI", "1"},
        {"Timeout", std::to_string(kFileBusyTimeoutMs)},
        {"FKSupport", "1"},
        {"JournalMode", "WAL"},
        {"SyncPragma", "FULL"},
        {"NoTXN", "0"},
    };
}

Attributes ClientServerStandingAttributes() { return {{"ByteaAsLongVarBinary", "1"}}; }

std::string FileEngineConnectString(const std::string& path) {
    // The SQLite3 driver takes the path as it is (it does not unquote braces).
    std::string text = fmt::format("DRIVER={};{}={}", kFileDriver, kFileDatabaseAttribute, path);
    for (const auto& [name, value] : FileEngineStandingAttributes()) text += fmt::format(";{}={}", name, value);
    return text;
}

}  // namespace qel::datasource
