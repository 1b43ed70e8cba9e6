#include <qel/datasource/DataSourceSetup.h>

#include <sys/stat.h>

#include <array>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/datasource/OdbcInstallerInternal.h>
#include <qel/outside/Log.h>

using namespace qel::datasource;

namespace {

// An attribute list of the installer: zero-terminated strings ended by an
// empty one, in a buffer of 1024 bytes. An entry that does not fit marks the
// list as overflowed instead of being cut.
class AttributeList {
public:
    void Add(std::string_view entry) {
        // The entry, its terminator and the terminator of the list.
        if (m_overflow || entry.find('\0') != std::string_view::npos || m_used + entry.size() + 2 > m_buffer.size()) {
            m_overflow = true;
            return;
        }
        entry.copy(m_buffer.data() + m_used, entry.size());
        m_used += entry.size() + 1;
    }
    bool Overflowed() const { return m_overflow; }
    LPCSTR Data() const { return m_buffer.data(); }

private:
    std::array<char, 1024> m_buffer{};  // zero-filled, so every entry ends in one
    std::size_t m_used = 0;
    bool m_overflow = false;
};

// Creates the folders a missing database file needs; results are ignored.
void CreateFolders(const std::string& path) {
    const auto last = path.rfind('/');
    if (last == std::string::npos || last == 0) return;
    const std::string folder = path.substr(0, last);
    for (auto slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0777);
    ::mkdir(folder.c_str(), 0777);
}

template <class Operation>
BOOL Guarded(const char* name, Operation operation) noexcept {
    try {
        return operation();
    } catch (const std::exception& e) {
        qel::outside::LogWarning(fmt::format("data source setup: {} failed: {}", name, e.what()));
    } catch (...) {
        qel::outside::LogWarning(fmt::format("data source setup: {} failed", name));
    }
    return FALSE;
}

}  // namespace

BOOL CDataSourceSetup::PrepareDataSource() {
    return Guarded("prepare", [this] {
        return m_pDatabaseObj->lEngine == kEngineFile ? PrepareFileDatabase() : TRUE;
    });
}

BOOL CDataSourceSetup::RegisterDataSourceAgain() {
    return Guarded("register", [this]() -> BOOL {
        switch (m_pDatabaseObj->lEngine) {
            case kEngineClientServer:
                return installer::WriteDataSourceDriver(m_pDatabaseObj->strDataSource.c_str(), kClientServerDriver);
            case kEngineFile: return RegisterFileDataSource();
            default: return TRUE;
        }
    });
}

BOOL CDataSourceSetup::RemoveDataSource() {
    return Guarded("remove", [this]() -> BOOL {
        const LONG engine = m_pDatabaseObj->lEngine;
        if (engine != kEngineClientServer && engine != kEngineFile) return TRUE;
        return installer::RemoveDSNFromIni(m_pDatabaseObj->strDataSource.c_str());
    });
}

BOOL CDataSourceSetup::RegisterFileDataSource() {
    AttributeList list;
    list.Add(fmt::format("DSN={}", m_pDatabaseObj->strDataSource));
    list.Add(fmt::format("DBQ={}", m_pDatabaseObj->strDirectory));
    if (list.Overflowed()) return FALSE;
    return installer::ConfigDataSource(nullptr, installer::kAddDsn, kFileDriver, list.Data());
}

BOOL CDataSourceSetup::PrepareFileDatabase() {
    const std::string& path = m_pDatabaseObj->strDirectory;
    std::error_code error;
    if (!path.empty() && std::filesystem::exists(path, error)) {
        RegisterFileDataSource();
        return TRUE;
    }

    CreateFolders(path);
    AttributeList list;
    list.Add(fmt::format("CREATE_DB=\"{}\"", path));
    if (list.Overflowed()) return FALSE;
    if (!installer::ConfigDataSource(nullptr, installer::kAddDsn, kFileDriver, list.Data())) {
        // Another program opening the same new database may have created
        // the file in the meantime; then it stands as an existing one.
        if (path.empty() || !std::filesystem::exists(path, error)) return FALSE;
        RegisterFileDataSource();
        return TRUE;
    }
    return RegisterFileDataSource();
}
