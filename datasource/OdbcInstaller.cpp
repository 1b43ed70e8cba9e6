#include <qel/datasource/OdbcInstallerInternal.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include <qel/datasource/EngineDrivers.h>
#include <qel/datasource/OdbcIniFileInternal.h>
#include <qel/outside/Log.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Database.h>
#include <qel/platform/AsciiText.h>
#include <qel/platform/SharedFile.h>

namespace qel::datasource::installer {

namespace {

// The installer's signatures, declared here so that nothing links against
// the library (<odbcinst.h> would also define BOOL as a macro).
using ConfigDataSourceFn = BOOL (*)(HWND, WORD, LPCSTR, LPCSTR);
using WritePrivateProfileStringFn = BOOL (*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);
using GetPrivateProfileStringFn = int (*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR);
using InstallerErrorFn = short (*)(WORD, DWORD*, LPSTR, WORD, WORD*);
using GetConfigModeFn = BOOL (*)(WORD*);
using SetConfigModeFn = BOOL (*)(WORD);

constexpr WORD kUserDsnMode = 1;
// The ini file name the installer maps to the user (or system) data sources.
constexpr const char* kOdbcIni = "odbc.ini";

struct LibraryCloser {
    void operator()(void* handle) const noexcept { ::dlclose(handle); }
};

class Library {
public:
    explicit Library(std::string name)
        : m_name(std::move(name)), m_handle(::dlopen(m_name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!m_handle) outside::LogWarning(fmt::format("ODBC installer library {} not loaded: {}", m_name, Error()));
    }

    const std::string& Name() const { return m_name; }
    bool Loaded() const { return m_handle != nullptr; }

    // The function of that name, or null (logged) when it is missing.
    template <class Fn>
    Fn Find(const char* function) const {
        if (!m_handle) return nullptr;
        void* address = ::dlsym(m_handle.get(), function);
        if (!address) outside::LogWarning(fmt::format("{} has no {}", m_name, function));
        return reinterpret_cast<Fn>(address);
    }

    // The installer's own message for its last failure (empty if none).
    std::string LastError() const {
        auto installerError = Find<InstallerErrorFn>("SQLInstallerError");
        if (!installerError) return {};
        DWORD code = 0;
        std::array<char, 512> message{};
        WORD length = 0;
        if (installerError(1, &code, message.data(), static_cast<WORD>(message.size()), &length) != 0) return {};
        return fmt::format("{} ({})", message.data(), code);
    }

private:
    static std::string Error() {
        const char* text = ::dlerror();
        return text ? text : "unknown error";
    }

    std::string m_name;
    std::unique_ptr<void, LibraryCloser> m_handle;
};

std::mutex g_mutex;
std::unique_ptr<Library> g_library;

std::string ConfiguredName() {
    const char* name = std::getenv(kLibraryVariable);
    return name && *name ? name : kLibraryName;
}

// The library for the configured name (the caller holds g_mutex); null when
// it cannot be loaded.
const Library* Current() {
    const std::string name = ConfiguredName();
    if (!g_library || g_library->Name() != name) {
        g_library.reset();
        g_library = std::make_unique<Library>(name);
    }
    return g_library->Loaded() ? g_library.get() : nullptr;
}

// Runs the installer in user mode for its life and puts the previous mode back.
class UserMode {
public:
    explicit UserMode(const Library& library)
        : m_set(library.Find<SetConfigModeFn>("SQLSetConfigMode")) {
        auto get = library.Find<GetConfigModeFn>("SQLGetConfigMode");
        if (!m_set || !get || !get(&m_previous)) {
            m_set = nullptr;
            return;
        }
        if (!m_set(kUserDsnMode)) m_set = nullptr;
    }
    ~UserMode() {
        if (m_set) m_set(m_previous);
    }
    UserMode(const UserMode&) = delete;
    UserMode& operator=(const UserMode&) = delete;

private:
    SetConfigModeFn m_set;
    WORD m_previous = 0;
};

using Attribute = std::pair<std::string, std::string>;

// "key=value\0...\0\0" into pairs; nullopt for an entry without '=' or an
// empty key.
std::optional<std::vector<Attribute>> ParseAttributes(LPCSTR list) {
    std::vector<Attribute> attributes;
    for (const char* entry = list; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const std::string_view text(entry);
        const auto equals = text.find('=');
        if (equals == std::string_view::npos || equals == 0) return std::nullopt;
        attributes.emplace_back(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
    }
    return attributes;
}

const std::string* FindAttribute(const std::vector<Attribute>& attributes, std::string_view key) {
    for (const auto& [name, value] : attributes)
        if (qel::platform::EqualsNoCase(name, key)) return &value;
    return nullptr;
}

// Sets a key, replacing a value set before (keys are case-insensitive).
void SetAttribute(std::vector<Attribute>& attributes, const std::string& key, const std::string& value) {
    for (auto& [name, old] : attributes) {
        if (qel::platform::EqualsNoCase(name, key)) {
            old = value;
            return;
        }
    }
    attributes.emplace_back(key, value);
}

bool IsOwnDriver(LPCSTR driver) {
    return qel::platform::EqualsNoCase(driver, kFileDriver) || qel::platform::EqualsNoCase(driver, kClientServerDriver);
}

// unixODBC keeps what SQLGetPrivateProfileString read in a cache of the
// process that only its own successful writes clear, and the driver manager
// and the drivers read data sources through it. After the component replaced
// the file itself, an installer write that changes nothing (removing an
// absent section of the empty lock file beside the ini file) clears that
// cache, so the next connect reads the data source as written.
void ForgetCachedReads(const Library& library, const ini::OdbcIniFile& file) {
    if (!file.Changed()) return;
    auto writeKey = library.Find<WritePrivateProfileStringFn>("SQLWritePrivateProfileString");
    const std::string scratch = platform::SharedFileLockPath(file.Path());
    if (!writeKey || !writeKey("qeldb cached reads", nullptr, nullptr, scratch.c_str()))
        outside::LogWarning(fmt::format("the driver manager may still read the old data sources of {}: {}",
                                        file.Path(), library.LastError()));
}

BOOL AddDataSource(const Library& library, LPCSTR driver, const std::vector<Attribute>& attributes) {
    const std::string* dsn = FindAttribute(attributes, "DSN");
    if (!dsn || dsn->empty()) return FALSE;
    const bool fileEngine = qel::platform::EqualsNoCase(driver, kFileDriver);

    std::vector<Attribute> keys;
    for (const auto& [name, value] : attributes) {
        if (qel::platform::EqualsNoCase(name, "DSN") || qel::platform::EqualsNoCase(name, "Driver")) continue;
        SetAttribute(keys, fileEngine && qel::platform::EqualsNoCase(name, "DBQ") ? kFileDatabaseAttribute : name, value);
    }
    if (fileEngine) {
        const std::string* database = FindAttribute(keys, kFileDatabaseAttribute);
        if (!database || database->empty()) return FALSE;
    }
    const Attributes standing = fileEngine ? FileEngineStandingAttributes() : ClientServerStandingAttributes();
    for (const auto& [name, value] : standing)
        if (!FindAttribute(keys, name)) keys.emplace_back(name, value);
    keys.insert(keys.begin(), Attribute("Driver", driver));

    ini::OdbcIniFile file(ini::UserOdbcIniPath());
    if (!file.WriteSection(*dsn, keys)) {
        outside::LogWarning(fmt::format("data source {} not written: {}", *dsn, file.LastError()));
        return FALSE;
    }
    ForgetCachedReads(library, file);
    return TRUE;
}

// The path of CREATE_DB="path" (the quotes are optional; text after the
// closing quote is ignored).
std::string CreatePath(const std::string& value) {
    if (value.empty() || value.front() != '"') return value;
    const auto closing = value.find('"', 1);
    return value.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
}

BOOL CreateDatabase(const std::string& path) {
    if (path.empty()) return FALSE;
    // An empty file is an empty SQLite database; O_EXCL leaves an existing
    // file alone.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        outside::LogWarning(fmt::format("database file {} not created: {}", path, std::strerror(errno)));
        return FALSE;
    }
    ::close(fd);
    // A path with ';' cannot be written into a connect string; the empty
    // file stands as it is then.
    if (path.find(';') != std::string::npos) return TRUE;
    try {
        CDatabase database;
        database.OpenEx(FileEngineConnectString(path).c_str());
        database.Close();
        return TRUE;
    } catch (const CDBException& e) {
        outside::LogWarning(fmt::format("new database file {} cannot be opened: {}", path, e.m_strError));
    }
    ::unlink(path.c_str());
    return FALSE;
}

}  // namespace

BOOL ConfigDataSource(HWND hwndParent, WORD request, LPCSTR driver, LPCSTR attributes) {
    if (!driver || !attributes) return FALSE;
    try {
        const std::lock_guard lock(g_mutex);
        const Library* library = Current();
        if (!library) return FALSE;
        // The request stands for this function, so without it there is no
        // request, even where the answer is given here.
        auto config = library->Find<ConfigDataSourceFn>("SQLConfigDataSource");
        if (!config) return FALSE;
        if (!IsOwnDriver(driver)) return config(hwndParent, request, driver, attributes);
        if (request != kAddDsn) return FALSE;
        const auto parsed = ParseAttributes(attributes);
        if (!parsed) return FALSE;
        if (const std::string* create = FindAttribute(*parsed, "CREATE_DB"))
            return qel::platform::EqualsNoCase(driver, kFileDriver) ? CreateDatabase(CreatePath(*create)) : FALSE;
        return AddDataSource(*library, driver, *parsed);
    } catch (const std::exception& e) {
        outside::LogWarning(fmt::format("ODBC installer request failed: {}", e.what()));
        return FALSE;
    }
}

BOOL WriteDataSourceDriver(LPCSTR dsn, LPCSTR driver) {
    if (!dsn || !driver || *dsn == '\0') return FALSE;
    try {
        const std::lock_guard lock(g_mutex);
        const Library* library = Current();
        // The write stands for the installer's function, so without it
        // there is no write.
        if (!library || !library->Find<void*>("SQLWriteDSNToIni")) return FALSE;
        // Only the driver is written: the server, port and database of an
        // existing data source stay as they are.
        ini::OdbcIniFile file(ini::UserOdbcIniPath());
        if (file.SetKey(dsn, "Driver", driver)) {
            ForgetCachedReads(*library, file);
            return TRUE;
        }
        outside::LogWarning(fmt::format("driver of data source {} not written: {}", dsn, file.LastError()));
        return FALSE;
    } catch (const std::exception&) {
        return FALSE;
    }
}

std::optional<std::vector<std::pair<std::string, std::string>>> ReadDataSource(LPCSTR dsn) {
    if (!dsn || *dsn == '\0') return std::nullopt;
    try {
        const std::lock_guard lock(g_mutex);
        const Library* library = Current();
        if (!library) return std::nullopt;
        auto read = library->Find<GetPrivateProfileStringFn>("SQLGetPrivateProfileString");
        if (!read) return std::nullopt;
        const UserMode mode(*library);
        // With no key the installer lists the section's key names, each
        // ended by a zero byte; nothing at all means no such section.
        std::vector<char> names(16384);
        const int length = read(dsn, nullptr, "", names.data(), static_cast<int>(names.size()), kOdbcIni);
        if (length <= 0) return std::nullopt;
        std::vector<std::pair<std::string, std::string>> keys;
        std::vector<char> value(4096);
        for (const char* name = names.data(); name < names.data() + length && *name != '\0';
             name += std::strlen(name) + 1) {
            value.assign(value.size(), '\0');
            read(dsn, name, "", value.data(), static_cast<int>(value.size()), kOdbcIni);
            keys.emplace_back(name, value.data());
        }
        return keys;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

BOOL RemoveDSNFromIni(LPCSTR dsn) {
    if (!dsn) return FALSE;
    try {
        const std::lock_guard lock(g_mutex);
        const Library* library = Current();
        if (!library || !library->Find<void*>("SQLRemoveDSNFromIni")) return FALSE;
        ini::OdbcIniFile file(ini::UserOdbcIniPath());
        if (file.RemoveSection(dsn)) {
            ForgetCachedReads(*library, file);
            return TRUE;
        }
        outside::LogWarning(fmt::format("data source {} not removed: {}", dsn, file.LastError()));
        return FALSE;
    } catch (const std::exception&) {
        return FALSE;
    }
}

}  // namespace qel::datasource::installer
