// Connections for the ODBC layer's tests: SQLite3 file databases inside the
// sandbox, and scratch PostgreSQL databases (support/Engines.h has the skip
// rule). EngineTest runs a test body once per engine with an open connection
// in m_db and a table T of one column per parameter type.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include <qel/outside/odbc/Database.h>

#include "support/Engines.h"

namespace qel::test {

std::string SqliteConnect(const std::string& fileName, int busyTimeoutMs = 2000);
// A database file name not used before in this process.
std::string UniqueFileName(const std::string& stem);

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
    std::string ConnectString(const std::string& pgDriver = qel::datasource::kClientServerDriver) const;

    CDatabase m_db;
    std::string m_sqliteFile;
    std::optional<ScratchDatabase> m_pg;
};

// The SQLSTATE of the CDBException the action throws, or "no exception".
std::string StateOf(const std::function<void()>& action);

}  // namespace qel::test
