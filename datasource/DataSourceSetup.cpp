#include <qel/datasource/DataSourceSetup.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include <qel/datasource/DataSourceName.h>
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

// Creates the folders a missing database file needs; a folder that cannot be
// made is left to the file creation to report. The folders made go to
// `created`, from the top down.
void CreateFolders(const std::string& path, std::vector<std::string>* created) {
    const auto last = path.rfind('/');
    if (last == std::string::npos || last == 0) return;
    const std::string folder = path.substr(0, last);
    const auto make = [created](const std::string& name) {
        if (::mkdir(name.c_str(), 0777) == 0) created->push_back(name);
    };
    for (auto slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        make(folder.substr(0, slash));
    make(folder);
}

bool IsOwnEngine(LONG engine) { return engine == kEngineClientServer || engine == kEngineFile; }

// A name the driver manager would refuse stops the setup before it writes
// anything; the reason goes to the log.
bool NameIsUsable(const std::string& dsn) {
    const std::string problem = DataSourceNameProblem(dsn);
    if (problem.empty()) return true;
    qel::outside::LogWarning("data source setup: " + problem);
    return false;
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
    PreparedDataSource created;
    return PrepareDataSource(&created);
}

BOOL CDataSourceSetup::PrepareDataSource(PreparedDataSource* created) {
    *created = PreparedDataSource();
    return Guarded("prepare", [this, created]() -> BOOL {
        const LONG engine = m_pDatabaseObj->GetDataSourceEngine();
        if (!IsOwnEngine(engine)) return TRUE;
        const std::string& dsn = m_pDatabaseObj->GetDataSourceName();
        if (!NameIsUsable(dsn)) return FALSE;
        created->dataSource = dsn;
        created->dataSourceExisted = installer::ReadDataSource(dsn.c_str()).has_value();
        return engine == kEngineFile ? PrepareFileDatabase(created) : TRUE;
    });
}

void CDataSourceSetup::UndoPreparation(const PreparedDataSource& created) noexcept {
    Guarded("undo", [&created]() -> BOOL {
        if (!created.dataSourceExisted && installer::RemoveDSNFromIni(created.dataSource.c_str()))
            qel::outside::LogInfo(fmt::format("data source {} of the failed open removed", created.dataSource));
        if (!created.createdFile.empty()) {
            // SQLite's side files belong to the file and would be taken for
            // a newer database's journal.
            for (const char* suffix : {"-wal", "-shm", "-journal"}) ::unlink((created.createdFile + suffix).c_str());
            if (::unlink(created.createdFile.c_str()) == 0)
                qel::outside::LogInfo(fmt::format("database file {} of the failed open removed", created.createdFile));
        }
        // A folder that holds something else by now stays (rmdir refuses).
        for (auto folder = created.createdFolders.rbegin(); folder != created.createdFolders.rend(); ++folder)
            ::rmdir(folder->c_str());
        return TRUE;
    });
}

BOOL CDataSourceSetup::RegisterDataSourceAgain() {
    return Guarded("register", [this]() -> BOOL {
        if (IsOwnEngine(m_pDatabaseObj->GetDataSourceEngine()) && !NameIsUsable(m_pDatabaseObj->GetDataSourceName())) return FALSE;
        switch (m_pDatabaseObj->GetDataSourceEngine()) {
            case kEngineClientServer:
                return installer::WriteDataSourceDriver(m_pDatabaseObj->GetDataSourceName().c_str(), kClientServerDriver);
            case kEngineFile: return RegisterFileDataSource();
            default: return TRUE;
        }
    });
}

BOOL CDataSourceSetup::RemoveDataSource() {
    return Guarded("remove", [this]() -> BOOL {
        const LONG engine = m_pDatabaseObj->GetDataSourceEngine();
        if (engine != kEngineClientServer && engine != kEngineFile) return TRUE;
        return installer::RemoveDSNFromIni(m_pDatabaseObj->GetDataSourceName().c_str());
    });
}

BOOL CDataSourceSetup::RegisterFileDataSource() {
    AttributeList list;
    list.Add(fmt::format("DSN={}", m_pDatabaseObj->GetDataSourceName()));
    list.Add(fmt::format("DBQ={}", m_pDatabaseObj->GetDataSourceDirectory()));
    if (list.Overflowed()) return FALSE;
    return installer::ConfigDataSource(nullptr, installer::kAddDsn, kFileDriver, list.Data());
}

BOOL CDataSourceSetup::PrepareFileDatabase(PreparedDataSource* created) {
    const std::string& path = m_pDatabaseObj->GetDataSourceDirectory();
    std::error_code error;
    if (!path.empty() && std::filesystem::exists(path, error)) {
        RegisterFileDataSource();
        return TRUE;
    }

    AttributeList list;
    list.Add(fmt::format("CREATE_DB=\"{}\"", path));
    if (list.Overflowed()) return FALSE;
    CreateFolders(path, &created->createdFolders);
    if (!installer::ConfigDataSource(nullptr, installer::kAddDsn, kFileDriver, list.Data())) {
        // Another program opening the same new database may have created
        // the file in the meantime; then it stands as an existing one, and
        // is not this open's to remove.
        if (path.empty() || !std::filesystem::exists(path, error)) return FALSE;
        RegisterFileDataSource();
        return TRUE;
    }
    created->createdFile = path;
    return RegisterFileDataSource();
}
