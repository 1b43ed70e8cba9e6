#include "OdbcTestSupport.h"

#include <atomic>
#include <fstream>

#include <fmt/format.h>

#include <qel/outside/odbc/DBException.h>

#include "support/Sandbox.h"

namespace qel::test {

std::string SqliteConnect(const std::string& fileName, int busyTimeoutMs) {
    return "DRIVER=SQLite3;Database=" + Sandbox::Current().Path(fileName) + ";Timeout=" + std::to_string(busyTimeoutMs);
}

std::string UniqueFileName(const std::string& stem) {
    static std::atomic<int> counter{0};
    return stem + "_" + std::to_string(counter++) + ".db";
}

void RegisterDataSource(const std::string& name, const std::string& body) {
    std::ofstream ini(Sandbox::Current().OdbcIni(), std::ios::app);
    ini << "[" << name << "]\n" << body << "\n";
}

TypeNames TypesFor(qel::odbc::Engine engine) {
    if (engine == qel::odbc::Engine::PostgreSQL) return {"int2", "int4", "varchar", "char", "bytea", "timestamptz", "text"};
    return {"smallint", "integer", "varchar", "char", "longvarbinary", "timestamp", "longvarchar"};
}

void EngineTest::SetUp() {
    if (GetParam() == qel::odbc::Engine::PostgreSQL) {
        QEL_REQUIRE_ENGINE(GetParam());
        m_pg = ScratchDatabase::Create(qel::datasource::kEngineClientServer, "engine");
    }
    m_sqliteFile = UniqueFileName("engine");
    ASSERT_TRUE(m_db.OpenEx(ConnectString().c_str()));
    ASSERT_EQ(m_db.Engine(), GetParam());
}

void EngineTest::TearDown() {
    m_db.Close();
    m_pg.reset();
}

std::string EngineTest::ConnectString(const std::string& pgDriver) const {
    if (GetParam() == qel::odbc::Engine::PostgreSQL) return PostgresConnectString(m_pg->Location(), pgDriver);
    return SqliteConnect(m_sqliteFile);
}

void EngineTest::CreateTable() {
    TypeNames t = TypesFor(GetParam());
    m_db.ExecuteSQL(fmt::format("CREATE TABLE T (K {} NOT NULL PRIMARY KEY, S {}, N {}(200), C {}(8), B {}, TS {}, LT {})",
                                t.int32, t.int16, t.text, t.fixedText, t.binary, t.timestamp, t.longText)
                        .c_str());
}

std::string StateOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CDBException& e) {
        return e.m_strSQLState;
    }
    return "no exception";
}

}  // namespace qel::test
