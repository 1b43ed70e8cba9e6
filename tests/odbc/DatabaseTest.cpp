// The connection: opening through connect strings and registered data
// sources, failures as CDBException with their SQLSTATE, transactions, and
// what is set up per driver on connecting.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Statement.h>

#include "OdbcTestSupport.h"
#include "support/Sandbox.h"
#include "support/TcpRelay.h"

using qel::odbc::Engine;
using qel::odbc::Statement;

namespace qel::test {
namespace {

std::int32_t CountRows(CDatabase& db, const std::string& table) {
    Statement st(db);
    st.Prepare("SELECT COUNT(*) FROM " + table);
    st.Execute();
    EXPECT_TRUE(st.Fetch());
    return st.GetInt32(1).value_or(-1);
}

TEST(Database, OpensAndClosesASqliteFile) {
    const std::string file = UniqueFileName("open");
    CDatabase db;
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.m_hdbc, nullptr);
    EXPECT_EQ(db.Engine(), Engine::Unknown);

    ASSERT_TRUE(db.Open(nullptr, FALSE, FALSE, ("ODBC;" + SqliteConnect(file)).c_str(), TRUE));
    EXPECT_FALSE(db.IsConnectionDead()) << "a file connection is never reported lost";
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(db.Engine(), Engine::SQLite);
    EXPECT_EQ(db.GetConnect().rfind("ODBC;", 0), 0u);
    EXPECT_NE(db.GetConnect().find(file), std::string::npos);
    db.ExecuteSQL("CREATE TABLE A (V integer)");
    EXPECT_EQ(StateOf([&] { db.OpenEx(SqliteConnect(file).c_str()); }), "08002");

    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_TRUE(db.GetConnect().empty());
    db.Close();
    EXPECT_EQ(StateOf([&] { db.ExecuteSQL("SELECT 1"); }), "08003");

    // Reopened, the file still holds the table.
    ASSERT_TRUE(db.OpenEx(SqliteConnect(file).c_str()));
    EXPECT_EQ(CountRows(db, "A"), 0);
}

TEST(Database, OpensADataSourceOfTheUserIniFile) {
    const std::string file = Sandbox::Current().Path(UniqueFileName("dsn"));
    RegisterDataSource("QelSqliteTest", "Driver=SQLite3\nDatabase=" + file + "\nTimeout=2000\n");
    {
        CDatabase db;
        ASSERT_TRUE(db.Open(nullptr, FALSE, FALSE, "ODBC;DSN=QelSqliteTest", TRUE));
        EXPECT_EQ(db.Engine(), Engine::SQLite);
        db.ExecuteSQL("CREATE TABLE D (V integer)");
        db.ExecuteSQL("INSERT INTO D VALUES (1)");
    }
    // The rows went into the named file, not into an in-memory database.
    CDatabase direct;
    ASSERT_TRUE(direct.OpenEx(("Driver=SQLite3;Database=" + file).c_str()));
    EXPECT_EQ(CountRows(direct, "D"), 1);

    CDatabase byName;
    ASSERT_TRUE(byName.Open("QelSqliteTest"));
    EXPECT_EQ(CountRows(byName, "D"), 1);
}

TEST(Database, FailedOpensThrowWithState) {
    CDatabase db;
    EXPECT_EQ(StateOf([&] { db.Open(nullptr, FALSE, FALSE, "ODBC;DSN=QelNoSuchSource", TRUE); }), "IM002");
    EXPECT_EQ(StateOf([&] { db.OpenEx(""); }), "IM002");
    // unixODBC reports a driver library it cannot load with state 01000 only.
    try {
        db.OpenEx("DRIVER=NoSuchDriver;Database=x");
        ADD_FAILURE() << "opened with a driver that does not exist";
    } catch (const CDBException& e) {
        EXPECT_NE(e.m_strError.find("NoSuchDriver"), std::string::npos) << e.m_strError;
    }
    EXPECT_NE(StateOf([&] { db.OpenEx(("DRIVER=SQLite3;Database=" + Sandbox::Current().Path("no/dir/x.db")).c_str()); }),
              "no exception");
    EXPECT_EQ(StateOf([&] { db.Open(nullptr, TRUE, FALSE, SqliteConnect("x.db").c_str()); }), "HYC00");
    EXPECT_FALSE(db.IsOpen());

    try {
        db.OpenEx("DSN=QelNoSuchSource");
    } catch (const CDBException& e) {
        EXPECT_FALSE(e.m_strError.empty());
        EXPECT_STREQ(e.what(), e.m_strError.c_str());
        EXPECT_NE(e.m_strStateNativeOrigin.find("State:IM002"), std::string::npos);
        EXPECT_NE(e.m_strStateNativeOrigin.find("SQLDriverConnect"), std::string::npos);
        EXPECT_EQ(e.m_nRetCode, SQL_ERROR);
    }
}

using DatabaseEngineTest = EngineTest;

TEST_P(DatabaseEngineTest, TransactionsCommitAndRollBack) {
    CreateTable();
    EXPECT_FALSE(m_db.CommitTrans());
    EXPECT_FALSE(m_db.Rollback());

    ASSERT_TRUE(m_db.BeginTrans());
    EXPECT_FALSE(m_db.BeginTrans());
    m_db.ExecuteSQL("INSERT INTO T (K) VALUES (1)");
    EXPECT_TRUE(m_db.Rollback());
    EXPECT_EQ(CountRows(m_db, "T"), 0);

    ASSERT_TRUE(m_db.BeginTrans());
    m_db.ExecuteSQL("INSERT INTO T (K) VALUES (2)");
    EXPECT_TRUE(m_db.CommitTrans());

    // Autocommit is back: another connection sees a row written now at once.
    m_db.ExecuteSQL("INSERT INTO T (K) VALUES (3)");
    CDatabase other;
    ASSERT_TRUE(other.OpenEx(ConnectString().c_str()));
    EXPECT_EQ(CountRows(other, "T"), 2);
    other.Close();

    // Closing with a transaction open loses it.
    ASSERT_TRUE(m_db.BeginTrans());
    m_db.ExecuteSQL("INSERT INTO T (K) VALUES (4)");
    m_db.Close();
    ASSERT_TRUE(m_db.OpenEx(ConnectString().c_str()));
    EXPECT_EQ(CountRows(m_db, "T"), 2);
}

TEST_P(DatabaseEngineTest, UpdateMatchingNothingIsNoError) {
    CreateTable();
    EXPECT_NO_THROW(m_db.ExecuteSQL("UPDATE T SET N = 'x' WHERE K = 5"));
    EXPECT_NO_THROW(m_db.ExecuteSQL("DELETE FROM T"));
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseEngineTest, qel::test::BothDriverEngines(),
                         qel::test::DriverEngineParamName);

class PostgreSqlConnection : public ::testing::Test {
protected:
    void SetUp() override {
        QEL_REQUIRE_ENGINE(Engine::PostgreSQL);
        m_scratch = ScratchDatabase::Create(qel::datasource::kEngineClientServer, "connection");
    }
    std::optional<ScratchDatabase> m_scratch;
};

TEST_F(PostgreSqlConnection, SessionsRunInUtcWhateverTheDatabaseSays) {
    ScratchDatabase::Admin("ALTER DATABASE " + m_scratch->Location() + " SET timezone = 'Asia/Tokyo'");
    CDatabase db;
    ASSERT_TRUE(db.OpenEx(PostgresConnectString(m_scratch->Location()).c_str()));
    Statement st(db);
    st.Prepare("SELECT current_setting('TimeZone')");
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.GetText(1), "UTC");

    db.ExecuteSQL("CREATE TABLE Z (TS timestamptz)");
    st.Prepare("INSERT INTO Z VALUES (?)");
    SQL_TIMESTAMP_STRUCT written{2024, 2, 29, 23, 30, 15, 0};
    st.SetTimestamp(1, written);
    st.Execute();
    st.Prepare("SELECT TS, extract(hour from TS AT TIME ZONE 'UTC') FROM Z");
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    auto read = st.GetTimestamp(1);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->day, 29);
    EXPECT_EQ(read->hour, 23);
    EXPECT_EQ(st.GetInt32(2), 23);
}

TEST_F(PostgreSqlConnection, LongBinaryIsByteaEvenWhenTheDataSourceSaysOtherwise) {
    const PostgresServer server = *Postgres();
    RegisterDataSource("QelPgLo", "Driver=PostgreSQL ANSI\nServername=" + server.host + "\nPort=" + server.port +
                                      "\nDatabase=" + m_scratch->Location() + "\nUsername=" + server.user +
                                      "\nByteaAsLongVarBinary=0\n");
    CDatabase db;
    std::string connect = "DSN=QelPgLo;UID=" + server.user;
    ASSERT_TRUE(db.OpenEx(connect.c_str()));
    EXPECT_EQ(db.Engine(), Engine::PostgreSQL);
    EXPECT_EQ(qel::odbc::LookUpTypeName(db.m_hdbc, SQL_LONGVARBINARY), "bytea");
    EXPECT_NE(db.GetConnect().find("ByteaAsLongVarBinary=1"), std::string::npos) << db.GetConnect();
}

TEST_F(PostgreSqlConnection, RefusedConnectionThrows) {
    CDatabase db;
    std::string connect = "DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;UID=postgres";
    EXPECT_EQ(StateOf([&] { db.OpenEx(connect.c_str()); }), "08001");
}

// A server that accepts the connection and then never answers must not hold
// the caller longer than the login timeout.
TEST_F(PostgreSqlConnection, SilentServerEndsAtTheLoginTimeout) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof(address);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    CDatabase db;
    db.SetLoginTimeout(2);
    std::string connect = "DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(ntohs(address.sin_port)) +
                          ";Database=x;UID=postgres;SSLmode=disable";
    auto start = std::chrono::steady_clock::now();
    EXPECT_NE(StateOf([&] { db.OpenEx(connect.c_str()); }), "no exception");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ::close(listener);
}

// A server that stops answering after the connect: the call ends at the call
// timeout as a lost connection, later calls fail at once, and a connection
// made directly to the server is not disturbed.
TEST_F(PostgreSqlConnection, SilentServerEndsAtTheCallTimeout) {
    ::setenv("QEL_DB_CALL_TIMEOUT", "1", 1);
    const PostgresServer server = *Postgres();
    TcpRelay relay(std::stoi(server.port));
    ASSERT_TRUE(relay.Listening());
    std::string connect = "DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(relay.Port()) +
                          ";Database=" + m_scratch->Location() + ";UID=" + server.user + ";SSLmode=disable";
    CDatabase relayed;
    ASSERT_TRUE(relayed.OpenEx(connect.c_str()));
    CDatabase direct;
    ASSERT_TRUE(direct.OpenEx(PostgresConnectString(m_scratch->Location()).c_str()));
    relayed.ExecuteSQL("CREATE TABLE W (N integer)");
    EXPECT_FALSE(relayed.IsConnectionDead());
    CDatabase idle;
    ASSERT_TRUE(idle.OpenEx(connect.c_str()));

    relay.Silence();
    auto start = std::chrono::steady_clock::now();
    idle.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "closing does not wait for the server";
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(StateOf([&] { relayed.ExecuteSQL("INSERT INTO W VALUES (1)"); }).substr(0, 2), "08");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::seconds(1));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_TRUE(relayed.IsConnectionDead());
    start = std::chrono::steady_clock::now();
    EXPECT_NE(StateOf([&] { relayed.ExecuteSQL("SELECT 1"); }), "no exception");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "a dead connection fails at once";

    EXPECT_EQ(CountRows(direct, "W"), 0) << "the direct connection still works";
    EXPECT_FALSE(direct.IsConnectionDead());
    relayed.Close();
    EXPECT_TRUE(relayed.IsConnectionDead()) << "a closed connection counts as dead";
    ::unsetenv("QEL_DB_CALL_TIMEOUT");
}

}  // namespace
}  // namespace qel::test
