#include "support/Sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace qel::test {

namespace {

void Set(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

}  // namespace

Sandbox& Sandbox::Current() {
    static Sandbox sandbox;
    return sandbox;
}

Sandbox::Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "qeltest-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create the test sandbox");
    m_root = pattern;

    for (const char* dir : {"config", "state", "runtime", "data", "odbc", "logs"}) fs::create_directories(Path(dir));
    fs::permissions(Path("runtime"), fs::perms::owner_all, fs::perm_options::replace);

    Set("QEL_REGISTRY_FILE", RegistryFile());
    Set("QEL_LOG_DIR", Path("logs"));
    Set("QEL_RUNTIME_DIR", Path("runtime"));
    Set("QEL_DATA_DIR", Path("data"));
    Set("XDG_CONFIG_HOME", Path("config"));
    Set("XDG_STATE_HOME", Path("state"));
    Set("XDG_RUNTIME_DIR", Path("runtime"));
    Set("XDG_DATA_HOME", Path("data"));
    Set("ODBCINI", OdbcIni());
    Set("ODBCSYSINI", Path("odbc"));
    CopyDriverList(Path("odbc/odbcinst.ini"));
}

void CopyDriverList(const std::string& destination) {
    std::ifstream in("/etc/odbcinst.ini");
    std::ofstream out(destination, std::ios::trunc);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = line.substr(0, line.find('='));
        if (key == "CommLog" || key == "Debug") line = key + "=0";
        out << line << '\n';
    }
}

Sandbox::~Sandbox() {
    if (std::getenv("QEL_KEEP_SANDBOX") != nullptr || m_root.empty()) return;
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::string Sandbox::Path(const std::string& relative) const { return (fs::path(m_root) / relative).string(); }

std::string SourcePath(const std::string& relative) { return (fs::path(QEL_TEST_SOURCE_DIR) / relative).string(); }

std::string BinaryPath(const std::string& relative) { return (fs::path(QEL_TEST_BINARY_DIR) / relative).string(); }

}  // namespace qel::test
