#include "support/ScratchDatabase.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "support/Files.h"
#include "support/Sandbox.h"

namespace qel::test {

using qel::datasource::kClientServerDriver;
using qel::datasource::kEngineClientServer;
using qel::datasource::kEngineFile;

std::optional<PostgresServer> Postgres() {
    PostgresServer server{Env("QEL_PG_HOST"), Env("QEL_PG_PORT"), Env("QEL_PG_USER", "postgres")};
    if (server.host.empty() || server.port.empty()) return std::nullopt;
    return server;
}

std::string EngineUnavailable(LONG engine) {
    if (engine != kEngineClientServer || Postgres()) return {};
    return "no PostgreSQL server: QEL_PG_HOST and QEL_PG_PORT are not set (eval \"$(bash scripts/pg start)\")";
}

std::string PostgresConnectString(const std::string& database, const std::string& driver) {
    const PostgresServer server = Postgres().value_or(PostgresServer{});
    return fmt::format("DRIVER={};Server={};Port={};Database={};UID={};ByteaAsLongVarBinary=1", driver, server.host,
                       server.port, database, server.user);
}

void AddClientServerDataSource(const std::filesystem::path& path, const std::string& dsn, const std::string& database) {
    const PostgresServer server = Postgres().value_or(PostgresServer{"localhost", "5432", "postgres"});
    std::ofstream ini(path, std::ios::app);
    ini << '[' << dsn << "]\n"
        << "Driver=" << kClientServerDriver << '\n'
        << "Servername=" << server.host << '\n'
        << "Port=" << server.port << '\n'
        << "Database=" << database << '\n'
        << "Username=" << server.user << '\n';
    for (const auto& [name, value] : qel::datasource::ClientServerStandingAttributes())
        ini << name << '=' << value << '\n';
    if (!ini.flush()) throw std::runtime_error("cannot write " + path.string());
}

bool WritePostgresDataSource(const std::string& dsn, const std::string& database, int port) {
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
    const PostgresServer server = Postgres().value_or(PostgresServer{"", "", "postgres"});
    const std::pair<const char*, std::string> values[] = {
        {"Servername", port != 0 ? "127.0.0.1" : server.host},
        {"Port", port != 0 ? std::to_string(port) : server.port},
        {"Database", database},
        {"Username", server.user},
        {"SSLmode", "disable"},
        {"ByteaAsLongVarBinary", "1"},
    };
    constexpr unsigned short kUserDsn = 1;
    constexpr unsigned short kBothDsn = 0;
    setMode(kUserDsn);
    bool ok = writeDsn(dsn.c_str(), kClientServerDriver) != 0;
    for (const auto& [key, value] : values) ok = ok && writeValue(dsn.c_str(), key, value.c_str(), "odbc.ini") != 0;
    setMode(kBothDsn);
    return ok;
}

void (*ScratchDatabase::ReportDropFailure)(const std::string&) = [](const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
};

void ScratchDatabase::Admin(const std::string& sql) {
    CDatabase admin;
    admin.OpenEx(PostgresConnectString("postgres").c_str());
    admin.ExecuteSQL(sql.c_str());
}

std::optional<ScratchDatabase> ScratchDatabase::Create(LONG engine, const std::string& name) {
    static std::atomic<int> counter{0};
    const int n = ++counter;
    if (engine == kEngineFile) {
        const std::string path = Sandbox::Current().Path(fmt::format("{}-{}.db", name, n));
        return ScratchDatabase(engine, qel::datasource::FileEngineConnectString(path), path);
    }
    if (!Postgres()) return std::nullopt;
    // Unquoted names fold to lower case in SQL; the location must match.
    std::string database = fmt::format("qeltest_{}_{}_{}", name, ::getpid(), n);
    for (char& c : database) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Admin("CREATE DATABASE " + database);
    return ScratchDatabase(engine, PostgresConnectString(database), database);
}

ScratchDatabase::ScratchDatabase(ScratchDatabase&& other) noexcept
    : m_engine(other.m_engine), m_connect(std::move(other.m_connect)), m_location(std::move(other.m_location)) {
    other.m_location.clear();
}

ScratchDatabase& ScratchDatabase::operator=(ScratchDatabase&& other) noexcept {
    if (this != &other) {
        Drop();
        m_engine = other.m_engine;
        m_connect = std::move(other.m_connect);
        m_location = std::move(other.m_location);
        other.m_location.clear();
    }
    return *this;
}

ScratchDatabase::~ScratchDatabase() { Drop(); }

void ScratchDatabase::Drop() noexcept {
    if (m_engine != kEngineClientServer || m_location.empty()) return;
    try {
        Admin("DROP DATABASE IF EXISTS " + m_location + " WITH (FORCE)");
    } catch (const std::exception& e) {
        ReportDropFailure("cannot drop " + m_location + ": " + e.what());
    } catch (...) {
        ReportDropFailure("cannot drop " + m_location);
    }
    m_location.clear();
}

std::unique_ptr<CDatabase> ScratchDatabase::Connect() const {
    auto db = std::make_unique<CDatabase>();
    db->OpenEx(m_connect.c_str());
    return db;
}

}  // namespace qel::test
