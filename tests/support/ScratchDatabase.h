// Scratch databases on the component's two engines: a SQLite file in the
// sandbox (engine 2) or a new database on the throw-away PostgreSQL server
// of the run (engine 1), which `eval "$(bash scripts/pg start)"` names in
// QEL_PG_HOST, QEL_PG_PORT and QEL_PG_USER. No GoogleTest here: the
// benchmarks use it too (Engines.h has the tests' skip rule).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/Database.h>

namespace qel::test {

inline std::string EngineName(LONG engine) { return engine == 1 ? "PostgreSQL" : "SQLite"; }

struct PostgresServer {
    std::string host, port, user;
};
// The server of this run; nullopt when QEL_PG_HOST or QEL_PG_PORT is not
// set (the user defaults to postgres).
std::optional<PostgresServer> Postgres();
// Why `engine` cannot be used here, "" when it can.
std::string EngineUnavailable(LONG engine);

// A DSN-less connect string to `database` on the server.
std::string PostgresConnectString(const std::string& database,
                                  const std::string& driver = qel::datasource::kClientServerDriver);

// Appends a user data source for `database` on the server to the odbc.ini
// file `ini`, with the attributes the component needs from psqlODBC.
void AddClientServerDataSource(const std::filesystem::path& ini, const std::string& dsn, const std::string& database);
// The same in $ODBCINI through the ODBC installer, so that the driver
// manager's cached view follows; on `port` of 127.0.0.1 when given (a relay
// in front of the server).
bool WritePostgresDataSource(const std::string& dsn, const std::string& database, int port = 0);

class ScratchDatabase {
public:
    // A new empty database for the engine, named after `name`; nullopt when
    // the engine is not available here.
    static std::optional<ScratchDatabase> Create(LONG engine, const std::string& name = "db");
    // Runs a statement on the server's "postgres" database (ALTER DATABASE ...).
    static void Admin(const std::string& sql);
    // Called with the reason when a database cannot be dropped; the test
    // main makes it a test failure.
    static void (*ReportDropFailure)(const std::string& what);

    ScratchDatabase(ScratchDatabase&&) noexcept;
    ScratchDatabase& operator=(ScratchDatabase&&) noexcept;
    ~ScratchDatabase();

    LONG Engine() const { return m_engine; }
    // A DSN-less connect string reaching the database.
    const std::string& ConnectString() const { return m_connect; }
    // The database file (file engine) or database name (PostgreSQL).
    const std::string& Location() const { return m_location; }
    std::unique_ptr<CDatabase> Connect() const;

private:
    ScratchDatabase(LONG engine, std::string connect, std::string location)
        : m_engine(engine), m_connect(std::move(connect)), m_location(std::move(location)) {}
    void Drop() noexcept;

    LONG m_engine;
    std::string m_connect;
    std::string m_location;
};

}  // namespace qel::test
