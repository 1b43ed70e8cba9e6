#include "support/TestDatabase.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>

#include <fmt/format.h>

#include <qel/datasource/EngineDrivers.h>

#include "support/Sandbox.h"

namespace qel::test {

namespace {

std::atomic<int> g_counter{0};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

bool TestDatabase::WritePostgresDataSource(const std::string& dsn, const std::string& database, int port) {
    // The installer, not a text edit of the file, so the driver manager's
    // cached view of the data sources follows.
    struct Close {
        void operator()(void* library) const { ::dlclose(library); }
    };
    std::unique_ptr<void, Close> library(::dlopen("libodbcinst.so.2", RTLD_NOW));
    if (!library) return false;
    auto setMode = reinterpret_cast<int (*)(unsigned short)>(::dlsym(library.get(), "SQLSetConfigMode"));
    auto writeDsn = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(library.get(), "SQLWriteDSNToIni"));
    auto writeValue = reinterpret_cast<int (*)(const char*, const char*, const char*, const char*)>(
        ::dlsym(library.get(), "SQLWritePrivateProfileString"));
    if (!setMode || !writeDsn || !writeValue) return false;
    std::string user = Env("QEL_PG_USER");
    if (user.empty()) user = "postgres";
    const std::pair<const char*, std::string> values[] = {
        {"Servername", port != 0 ? "127.0.0.1" : Env("QEL_PG_HOST")},
        {"Port", port != 0 ? std::to_string(port) : Env("QEL_PG_PORT")},
        {"Database", database},
        {"Username", user},
        {"SSLmode", "disable"},
        {"ByteaAsLongVarBinary", "1"},
    };
    constexpr unsigned short kUserDsn = 1;
    constexpr unsigned short kBothDsn = 0;
    setMode(kUserDsn);
    bool ok = writeDsn(dsn.c_str(), qel::datasource::kClientServerDriver) != 0;
    for (const auto& [key, value] : values) ok = ok && writeValue(dsn.c_str(), key, value.c_str(), "odbc.ini") != 0;
    setMode(kBothDsn);
    return ok;
}

bool TestDatabase::PostgresAvailable() { return !Env("QEL_PG_HOST").empty() && !Env("QEL_PG_PORT").empty(); }

std::string TestDatabase::PostgresConnectString(const std::string& database) {
    std::string user = Env("QEL_PG_USER");
    if (user.empty()) user = "postgres";
    return fmt::format("DRIVER={};Server={};Port={};Database={};UID={};ByteaAsLongVarBinary=1",
                       qel::datasource::kClientServerDriver, Env("QEL_PG_HOST"), Env("QEL_PG_PORT"), database, user);
}

std::optional<TestDatabase> TestDatabase::Create(LONG engine, const std::string& name) {
    const int n = ++g_counter;
    if (engine == qel::datasource::kEngineFile) {
        const std::string path = Sandbox::Current().Path(fmt::format("{}-{}.db", name, n));
        return TestDatabase(engine, qel::datasource::FileEngineConnectString(path), path);
    }
    if (!PostgresAvailable()) return std::nullopt;
    const std::string database = fmt::format("qeltest_{}_{}_{}", name, ::getpid(), n);
    CDatabase admin;
    admin.OpenEx(PostgresConnectString("postgres").c_str());
    admin.ExecuteSQL(fmt::format("CREATE DATABASE {}", database).c_str());
    admin.Close();
    return TestDatabase(engine, PostgresConnectString(database), database);
}

TestDatabase::TestDatabase(TestDatabase&& other) noexcept
    : m_engine(other.m_engine), m_connect(std::move(other.m_connect)), m_location(std::move(other.m_location)) {
    other.m_location.clear();
}

TestDatabase& TestDatabase::operator=(TestDatabase&& other) noexcept {
    if (this != &other) {
        m_engine = other.m_engine;
        m_connect = std::move(other.m_connect);
        m_location = std::move(other.m_location);
        other.m_location.clear();
    }
    return *this;
}

TestDatabase::~TestDatabase() {
    if (m_engine != qel::datasource::kEngineClientServer || m_location.empty()) return;
    try {
        CDatabase admin;
        admin.OpenEx(PostgresConnectString("postgres").c_str());
        admin.ExecuteSQL(fmt::format("DROP DATABASE IF EXISTS {} WITH (FORCE)", m_location).c_str());
    } catch (...) {
        // The throw-away server goes away with the test run anyway.
    }
}

std::unique_ptr<CDatabase> TestDatabase::Connect() const {
    auto db = std::make_unique<CDatabase>();
    db->OpenEx(m_connect.c_str());
    return db;
}

}  // namespace qel::test
