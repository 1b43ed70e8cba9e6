// The driver adaptations: type names (with the fixed-length binary stand-in),
// DROP INDEX of a missing index seen as "S0012" through SQLError, lock and
// engine recognition, and the connect-string additions for psqlODBC.
#include <gtest/gtest.h>

#include <array>

#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/DriverQuirks.h>

#include "OdbcTestSupport.h"

using qel::odbc::AdaptConnectString;
using qel::odbc::AdaptDropIndex;
using qel::odbc::Engine;
using qel::odbc::LookUpTypeName;
using qel::odbc::NormalizeSqlState;

namespace qel::test {
namespace {

TEST(DriverQuirks, DropIndexFormPerEngine) {
    EXPECT_EQ(AdaptDropIndex(Engine::SQLite, "DOC200", "IDOCNAME"), "DROP INDEX IDOCNAME");
    EXPECT_EQ(AdaptDropIndex(Engine::PostgreSQL, "DOC200", "IDOCNAME"), "DROP INDEX IDOCNAME");
    EXPECT_EQ(AdaptDropIndex(Engine::Unknown, "DOC200", "IDOCNAME"), "DROP INDEX DOC200.IDOCNAME");
}

TEST(DriverQuirks, OnlyTheMissingIndexAnswersBecomeS0012) {
    EXPECT_EQ(NormalizeSqlState(Engine::SQLite, "HY000", 1, "[SQLite]no such index: IX (1)"), "S0012");
    EXPECT_EQ(NormalizeSqlState(Engine::SQLite, "HY000", 1, "[SQLite]no such table: T (1)"), "HY000");
    EXPECT_EQ(NormalizeSqlState(Engine::SQLite, "HY000", 5, "no such index"), "HY000");
    EXPECT_EQ(NormalizeSqlState(Engine::PostgreSQL, "42704", 1, "ERROR: index \"ix\" does not exist"), "S0012");
    EXPECT_EQ(NormalizeSqlState(Engine::PostgreSQL, "42P01", 1, "ERROR: no such index"), "42P01");
    EXPECT_EQ(NormalizeSqlState(Engine::Unknown, "42704", 1, "no such index"), "42704");
}

TEST(DriverQuirks, RecognisesEnginesAndLocks) {
    EXPECT_EQ(qel::odbc::EngineFromDbmsName("SQLite"), Engine::SQLite);
    EXPECT_EQ(qel::odbc::EngineFromDbmsName("PostgreSQL"), Engine::PostgreSQL);
    EXPECT_EQ(qel::odbc::EngineFromDbmsName("ACCESS"), Engine::Unknown);

    EXPECT_TRUE(qel::odbc::IsLockError(Engine::SQLite, {"HY000", 5, "[SQLite]database is locked (5)"}));
    EXPECT_TRUE(qel::odbc::IsLockError(Engine::SQLite, {"HY000", 6, "[SQLite]database table is locked (6)"}));
    EXPECT_FALSE(qel::odbc::IsLockError(Engine::SQLite, {"HY000", 1, "[SQLite]no such table: T (1)"}));
    EXPECT_TRUE(qel::odbc::IsLockError(Engine::PostgreSQL, {"55P03", 1, "could not obtain lock"}));
    EXPECT_FALSE(qel::odbc::IsLockError(Engine::PostgreSQL, {"HY000", 5, "database is locked"}));
}

TEST(DriverQuirks, PsqlOdbcConnectStringsGetByteaAsLongBinary) {
    EXPECT_EQ(AdaptConnectString("DRIVER={PostgreSQL Unicode};Server=h;PWD={a;b}"),
              "DRIVER={PostgreSQL Unicode};Server=h;PWD={a;b};ByteaAsLongVarBinary=1");
    EXPECT_EQ(AdaptConnectString("Driver=PostgreSQL ANSI;byteaaslongvarbinary=0;UID="),
              "Driver=PostgreSQL ANSI;UID=;ByteaAsLongVarBinary=1");
    EXPECT_EQ(AdaptConnectString("DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=h"),
              "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=h;ByteaAsLongVarBinary=1");

    RegisterDataSource("QelPgSource", "Driver=PostgreSQL Unicode\nServername=localhost\n");
    EXPECT_EQ(AdaptConnectString("DSN=QelPgSource"), "DSN=QelPgSource;ByteaAsLongVarBinary=1");

    RegisterDataSource("QelLiteSource", "Driver=SQLite3\nDatabase=/tmp/x.db\n");
    for (const char* unchanged : {"DSN=QelLiteSource", "DRIVER=SQLite3;Database=/tmp/x.db", "DSN=QelNoSuchSource", ""}) {
        EXPECT_EQ(AdaptConnectString(unchanged), unchanged);
    }
}

using DriverQuirksEngineTest = EngineTest;

TEST_P(DriverQuirksEngineTest, TypeNamesWithTheBinaryStandIn) {
    const bool pg = Engine() == Engine::PostgreSQL;
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_SMALLINT), pg ? "int2" : "smallint");
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_INTEGER), pg ? "int4" : "integer");
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_CHAR), "char");
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_LONGVARCHAR), pg ? "text" : "longvarchar");
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_LONGVARBINARY), pg ? "bytea" : "longvarbinary");
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_TIMESTAMP), pg ? "timestamptz" : "timestamp");
    // No fixed-length binary type on either driver: the variable-length one.
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_BINARY), pg ? "bytea" : "varbinary");
    // A type the driver really lacks still finds nothing.
    EXPECT_EQ(LookUpTypeName(m_db.m_hdbc, SQL_INTERVAL_DAY_TO_SECOND), std::nullopt);
    EXPECT_EQ(LookUpTypeName(SQL_NULL_HDBC, SQL_INTEGER), std::nullopt);

    // Column definitions from the answers work on the engine: char takes its
    // length, the binary stand-in takes none (PostgreSQL refuses bytea(16)).
    auto fixedText = qel::odbc::LookUpType(m_db.m_hdbc, SQL_CHAR);
    auto binary = qel::odbc::LookUpType(m_db.m_hdbc, SQL_BINARY);
    ASSERT_TRUE(fixedText && binary);
    EXPECT_EQ(qel::odbc::ColumnType(*fixedText, 8), "char(8)");
    EXPECT_EQ(qel::odbc::ColumnType(*binary, 16), binary->name);
    m_db.ExecuteSQL(("CREATE TABLE BIN (C " + qel::odbc::ColumnType(*fixedText, 8) + ", V " +
                     qel::odbc::ColumnType(*binary, 16) + ")")
                        .c_str());
}

// The way the schema code drops an index: prepare and execute on a raw
// statement, ask SQLError on failure, act on the normalised state.
std::string DropIndexState(CDatabase& db, const std::string& table, const std::string& index) {
    HSTMT hstmt = SQL_NULL_HSTMT;
    EXPECT_EQ(SQLAllocStmt(db.m_hdbc, &hstmt), SQL_SUCCESS);
    std::string sql = AdaptDropIndex(db.Engine(), table, index);
    SQLRETURN rc = SQLPrepare(hstmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
    if (SQL_SUCCEEDED(rc)) rc = SQLExecute(hstmt);
    std::string state = "OK";
    if (!SQL_SUCCEEDED(rc)) {
        std::array<SQLCHAR, 6> sqlState{};
        SDWORD native = 0;
        std::array<SQLCHAR, 100> message{};
        SWORD length = 0;
        if (SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, hstmt, sqlState.data(), &native, message.data(),
                     static_cast<SWORD>(message.size()), &length) == SQL_SUCCESS) {
            state = NormalizeSqlState(db.Engine(), reinterpret_cast<const char*>(sqlState.data()), native,
                                      reinterpret_cast<const char*>(message.data()));
        } else {
            state = "no diagnostics";
        }
    }
    SQLFreeStmt(hstmt, SQL_DROP);
    return state;
}

TEST_P(DriverQuirksEngineTest, DroppingAMissingIndexAnswersS0012) {
    CreateTable();
    m_db.ExecuteSQL("CREATE INDEX ITN ON T (N)");
    EXPECT_EQ(DropIndexState(m_db, "T", "ITN"), "OK");
    EXPECT_EQ(DropIndexState(m_db, "T", "ITN"), "S0012");
    EXPECT_EQ(DropIndexState(m_db, "T", "INEVER"), "S0012");
    // Other failures keep their own state.
    EXPECT_NE(DropIndexState(m_db, "T", "bad name"), "S0012");
}

INSTANTIATE_TEST_SUITE_P(Engines, DriverQuirksEngineTest, qel::test::BothDriverEngines(),
                         qel::test::DriverEngineParamName);

}  // namespace
}  // namespace qel::test
