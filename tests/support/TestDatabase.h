// Fresh, empty databases for integration tests on the real engines: a SQLite
// file in the sandbox (file engine, 2) or a new database on the throw-away
// PostgreSQL server the test script started (client/server engine, 1; the
// tests skip when QEL_PG_HOST/QEL_PG_PORT are not set).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/schema/DatabaseSchema.h>

#include "support/DatabaseObjAccess.h"

namespace qel::test {

class TestDatabase {
public:
    // A new empty database for the engine; nullopt when the engine is not
    // available here (PostgreSQL without a server).
    static std::optional<TestDatabase> Create(LONG engine, const std::string& name = "db");

    TestDatabase(TestDatabase&&) noexcept;
    TestDatabase& operator=(TestDatabase&&) noexcept;
    ~TestDatabase();

    LONG Engine() const { return m_engine; }
    // A DSN-less connect string reaching the database.
    const std::string& ConnectString() const { return m_connect; }
    // The database file (file engine) or database name (PostgreSQL).
    const std::string& Location() const { return m_location; }
    std::unique_ptr<CDatabase> Connect() const;

    static bool PostgresAvailable();
    static std::string PostgresConnectString(const std::string& database);
    // Writes the user data source `dsn` (in $ODBCINI, through the ODBC
    // installer) reaching `database` on the test server, or on `port` of
    // 127.0.0.1 when given (a relay in front of the server).
    static bool WritePostgresDataSource(const std::string& dsn, const std::string& database, int port = 0);

private:
    TestDatabase(LONG engine, std::string connect, std::string location)
        : m_engine(engine), m_connect(std::move(connect)), m_location(std::move(location)) {}

    LONG m_engine;
    std::string m_connect;
    std::string m_location;
};

// Engine names for parameterised tests.
inline std::string EngineName(LONG engine) { return engine == 1 ? "PostgreSQL" : "SQLite"; }
inline std::string EngineParamName(const ::testing::TestParamInfo<LONG>& param) { return EngineName(param.param); }

}  // namespace qel::test

