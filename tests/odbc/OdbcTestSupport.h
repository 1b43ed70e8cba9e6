// Connections for the ODBC layer's tests: SQLite3 file databases inside the
// sandbox, and PostgreSQL databases made for one test on the server named by
// QEL_PG_HOST, QEL_PG_PORT and QEL_PG_USER (tests on it are skipped when they
// are not set). EngineTest runs a test body once per engine with an open
// connection in m_db and a table T of one column per parameter type.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <qel/outside/odbc/Database.h>

namespace qel::test {

std::string SqliteConnect(const std::string& fileName, int busyTimeoutMs = 2000);
// A database file name not used before in this process.
std::string UniqueFileName(const std::string& stem);

bool PgConfigured();
std::string PgConnect(const std::string& database, const std::string& driver = "PostgreSQL Unicode");

// A database qeltest_<pid>_<n>, created through the "postgres" database and
// dropped (with any connection left to it) on destruction.
class PgScratchDatabase {
public:
    PgScratchDatabase();
    ~PgScratchDatabase();
    PgScratchDatabase(const PgScratchDatabase&) = delete;
    PgScratchDatabase& operator=(const PgScratchDatabase&) = delete;
    const std::string& Name() const { return m_name; }
    // Runs a statement on the "postgres" database (ALTER DATABASE ...).
    static void Admin(const std::string& sql);

private:
    std::string m_name;
};

// Appends a data source section to the sandbox's user DSN file.
void RegisterDataSource(const std::string& name, const std::string& body);

// The SQL type names used for the test table on an engine.
struct TypeNames {
    std::string int16, int32, text, fixedText, binary, timestamp, longText;
};
TypeNames TypesFor(qel::odbc::Engine engine);

class EngineTest : public ::testing::TestWithParam<qel::odbc::Engine> {
protected:
    void SetUp() override;
    void TearDown() override;
    // Columns: K int32 (key), S int16, N text(200), C fixed text(8), B binary,
    // TS timestamp, LT long text.
    void CreateTable();
    qel::odbc::Engine Engine() const { return GetParam(); }
    // Connect string of another connection to the same database.
    std::string ConnectString(const std::string& pgDriver = "PostgreSQL Unicode") const;

    CDatabase m_db;
    std::string m_sqliteFile;
    std::unique_ptr<PgScratchDatabase> m_pg;
};

// The SQLSTATE of the CDBException the action throws, or "no exception".
std::string StateOf(const std::function<void()>& action);

std::string EngineName(const ::testing::TestParamInfo<qel::odbc::Engine>& info);

}  // namespace qel::test
