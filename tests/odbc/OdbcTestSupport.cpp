#include "OdbcTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include <fmt/format.h>

#include <qel/outside/odbc/DBException.h>

#include "support/Sandbox.h"

namespace qel::test {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string SqliteConnect(const std::string& fileName, int busyTimeoutMs) {
    return "DRIVER=SQLite3;Database=" + Sandbox::Current().Path(fileName) + ";Timeout=" + std::to_string(busyTimeoutMs);
}

std::string UniqueFileName(const std::string& stem) {
    static std::atomic<int> counter{0};
    return stem + "_" + std::to_string(counter++) + ".db";
}

bool PgConfigured() { return !Env("QEL_PG_HOST").empty() && !Env("QEL_PG_PORT").empty() && !Env("QEL_PG_USER").empty(); }

std::string PgConnect(const std::string& database, const std::string& driver) {
    return fmt::format("DRIVER={{{}}};Server={};Port={};Database={};UID={}", driver, Env("QEL_PG_HOST"),
                       Env("QEL_PG_PORT"), database, Env("QEL_PG_USER"));
}

void PgScratchDatabase::Admin(const std::string& sql) {
    CDatabase admin;
    admin.OpenEx(PgConnect("postgres").c_str());
    admin.ExecuteSQL(sql.c_str());
}

PgScratchDatabase::PgScratchDatabase() {
    static std::atomic<int> counter{0};
    m_name = fmt::format("qeltest_{}_{}", ::getpid(), counter++);
    Admin("CREATE DATABASE " + m_name);
}

PgScratchDatabase::~PgScratchDatabase() {
    try {
        Admin("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
    } catch (const std::exception& e) {
        ADD_FAILURE() << "cannot drop " << m_name << ": " << e.what();
    }
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
        if (!PgConfigured()) GTEST_SKIP() << "QEL_PG_HOST/QEL_PG_PORT/QEL_PG_USER not set";
        m_pg = std::make_unique<PgScratchDatabase>();
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
    if (GetParam() == qel::odbc::Engine::PostgreSQL) return PgConnect(m_pg->Name(), pgDriver);
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

std::string EngineName(const ::testing::TestParamInfo<qel::odbc::Engine>& info) {
    return info.param == qel::odbc::Engine::PostgreSQL ? "PostgreSQL" : "SQLite";
}

}  // namespace qel::test
