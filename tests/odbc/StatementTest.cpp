// Bound statements against the real drivers: values arrive as written, long
// values survive the piecewise reads, and the drivers' odd answers (no row
// matched, padding, errors) reach the caller faithfully.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/outside/odbc/Timestamp.h>

#include "OdbcTestSupport.h"

using qel::odbc::Engine;
using qel::odbc::Statement;

namespace qel::test {
namespace {

class StatementTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        CreateTable();
    }

    void InsertName(std::int32_t key, const std::string& name) {
        Statement st(m_db);
        st.Prepare("INSERT INTO T (K, N) VALUES (?, ?)");
        st.SetInt32(1, key);
        st.SetText(2, name);
        EXPECT_EQ(st.Execute(), 1);
    }

    std::optional<std::string> ReadText(const std::string& column, std::int32_t key) {
        Statement st(m_db);
        st.Prepare("SELECT " + column + " FROM T WHERE K = ?");
        st.SetInt32(1, key);
        st.Execute();
        EXPECT_TRUE(st.Fetch());
        return st.GetText(1);
    }
};

TEST_P(StatementTest, TextIsStoredAsWrittenAndFoundByParameter) {
    const std::string bobby = "Robert'); DROP TABLE T;--";
    const std::string utf8 = "Zoë Ångström 日本語 歯科 😀";
    InsertName(1, bobby);
    InsertName(2, utf8);
    EXPECT_EQ(ReadText("N", 1), bobby);
    EXPECT_EQ(ReadText("N", 2), utf8);

    Statement st(m_db);
    st.Prepare("SELECT K, length(N) FROM T WHERE N = ?");
    st.SetText(1, utf8);
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.GetInt32(1), 2);
    EXPECT_EQ(st.GetInt32(2), 21) << "the engine sees characters, not bytes";
    EXPECT_FALSE(st.Fetch());
}

TEST_P(StatementTest, AllParameterTypesAndNullsRoundTrip) {
    const std::vector<std::uint8_t> bytes = {0, 1, 0xFF, 0x27, 0};
    Statement insert(m_db);
    insert.Prepare("INSERT INTO T (K, S, N, C, B, TS, LT) VALUES (?, ?, ?, ?, ?, ?, ?)");
    insert.SetInt32(1, std::numeric_limits<std::int32_t>::min());
    insert.SetInt16(2, std::numeric_limits<std::int16_t>::min());
    insert.SetText(3, "");
    insert.SetText(4, "abc");
    insert.SetBinary(5, bytes);
    insert.SetDate(6, 45000.5 + 0.123 / 86400.0);
    insert.SetText(7, "long");
    EXPECT_EQ(insert.Execute(), 1);

    // The same prepared statement again, now with NULL in every nullable column.
    insert.SetInt32(1, std::numeric_limits<std::int32_t>::max());
    insert.SetNull(2, SQL_SMALLINT);
    insert.SetNull(3);
    insert.SetNull(4, SQL_CHAR);
    insert.SetNull(5, SQL_LONGVARBINARY);
    insert.SetNull(6, SQL_TYPE_TIMESTAMP);
    insert.SetNull(7, SQL_LONGVARCHAR);
    EXPECT_EQ(insert.Execute(), 1);

    Statement select(m_db);
    select.Prepare("SELECT K, S, N, B, TS, LT FROM T ORDER BY K");
    select.Execute();
    EXPECT_EQ(select.ColumnCount(), 6);
    ASSERT_TRUE(select.Fetch());
    EXPECT_EQ(select.GetInt32(1), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(select.GetInt16(2), std::numeric_limits<std::int16_t>::min());
    EXPECT_EQ(select.GetText(3), std::string());
    EXPECT_EQ(select.GetBinary(4), bytes);
    auto ts = select.GetTimestamp(5);
    ASSERT_TRUE(ts.has_value());
    EXPECT_EQ((std::array<unsigned, 6>{static_cast<unsigned>(ts->year), ts->month, ts->day, ts->hour, ts->second, ts->fraction}),
              (std::array<unsigned, 6>{2023, 3, 15, 12, 0, 123'000'000u}));
    EXPECT_EQ(select.GetText(6), "long");

    ASSERT_TRUE(select.Fetch());
    EXPECT_EQ(select.GetInt32(1), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(select.GetInt16(2), std::nullopt);
    EXPECT_EQ(select.GetText(3), std::nullopt);
    EXPECT_EQ(select.GetBinary(4), std::nullopt);
    EXPECT_EQ(select.GetTimestamp(5), std::nullopt);
    EXPECT_EQ(select.GetText(6), std::nullopt);
    EXPECT_FALSE(select.Fetch());
}

TEST_P(StatementTest, LongValuesArriveWhole) {
    std::vector<std::uint8_t> image(1024 * 1024);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>((i * 7919) >> 3);
    std::string note;
    while (note.size() < 200'000) note += "Molare inferiore destro, 46 — ";

    Statement insert(m_db);
    insert.Prepare("INSERT INTO T (K, B, LT) VALUES (?, ?, ?)");
    insert.SetInt32(1, 1);
    insert.SetBinary(2, image);
    insert.SetText(3, note);
    EXPECT_EQ(insert.Execute(), 1);

    Statement select(m_db);
    select.Prepare("SELECT B, LT FROM T WHERE K = 1");
    select.Execute();
    ASSERT_TRUE(select.Fetch());
    // Compared whole, not printed: a failure would dump a megabyte.
    EXPECT_TRUE(select.GetBinary(1) == image);
    EXPECT_TRUE(select.GetText(2) == note);
}

TEST_P(StatementTest, RowCountsOfUpdatesAndDeletes) {
    for (std::int32_t key = 1; key <= 3; ++key) InsertName(key, "x");

    Statement st(m_db);
    st.Prepare("UPDATE T SET N = ? WHERE K = ?");
    st.SetText(1, "y");
    st.SetInt32(2, 99);
    EXPECT_EQ(st.Execute(), 0);  // SQL_NO_DATA from the driver: success, no row

    st.Prepare("UPDATE T SET N = ? WHERE K >= ?");
    st.SetInt32(2, 2);
    EXPECT_EQ(st.Execute(), 2);

    st.Prepare("DELETE FROM T WHERE N = ?");
    st.ClearParameters();
    st.SetText(1, "y");
    EXPECT_EQ(st.Execute(), 2);
    st.SetText(1, "nobody");
    EXPECT_EQ(st.Execute(), 0);
    EXPECT_EQ(ReadText("N", 1), "x");
}

TEST_P(StatementTest, FixedTextComesBackAsTheDriverGivesIt) {
    Statement st(m_db);
    st.Prepare("INSERT INTO T (K, C) VALUES (1, ?)");
    st.SetText(1, "ab");
    st.Execute();
    // PostgreSQL pads char(n); SQLite keeps what was written. The layer passes
    // both on unchanged.
    EXPECT_EQ(ReadText("C", 1), Engine() == Engine::PostgreSQL ? "ab      " : "ab");
}

TEST_P(StatementTest, FailuresThrowWithState) {
    Statement st(m_db);

    EXPECT_EQ(StateOf([&] { st.Execute(); }), "HY010");
    st.Prepare("INSERT INTO T (K, N) VALUES (?, ?)");
    st.SetText(2, "only the second");
    EXPECT_EQ(StateOf([&] { st.Execute(); }), "07002");
    EXPECT_EQ(StateOf([&] { st.SetInt32(0, 1); }), "07009");

    InsertName(1, "first");
    st.SetInt32(1, 1);
    std::string duplicate = StateOf([&] { st.Execute(); });
    EXPECT_EQ(duplicate, Engine() == Engine::PostgreSQL ? "23505" : "HY000");

    std::string missing = StateOf([&] {
        st.Prepare("SELECT * FROM NOSUCHTABLE");
        st.Execute();
    });
    EXPECT_EQ(missing, Engine() == Engine::PostgreSQL ? "42P01" : "HY000");

    // A statement that outlives its connection fails cleanly and is destroyed
    // without touching what the driver manager freed on disconnect.
    m_db.Close();
    EXPECT_EQ(StateOf([&] { Statement closed(m_db); }), "08003");
    EXPECT_EQ(StateOf([&] { st.Prepare("SELECT 1"); }), "08003");
}

INSTANTIATE_TEST_SUITE_P(Engines, StatementTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

TEST(PostgreSqlDrivers, BothDriversRoundTripUtf8ThroughTheAnsiCalls) {
    if (!PgConfigured()) GTEST_SKIP() << "QEL_PG_HOST/QEL_PG_PORT/QEL_PG_USER not set";
    PgScratchDatabase scratch;
    const std::string text = "Ünïcödé 漢字 ﾊﾟﾝ 😀";
    for (const char* driver : {"PostgreSQL Unicode", "PostgreSQL ANSI"}) {
        SCOPED_TRACE(driver);
        CDatabase db;
        ASSERT_TRUE(db.OpenEx(PgConnect(scratch.Name(), driver).c_str()));
        db.ExecuteSQL("CREATE TABLE U (N varchar(40))");
        Statement st(db);
        st.Prepare("INSERT INTO U VALUES (?)");
        st.SetText(1, text);
        st.Execute();
        st.Prepare("SELECT N, octet_length(N) FROM U");
        st.Execute();
        ASSERT_TRUE(st.Fetch());
        EXPECT_EQ(st.GetText(1), text);
        EXPECT_EQ(st.GetInt32(2), static_cast<std::int32_t>(text.size()));
        st.CloseCursor();
        db.ExecuteSQL("DROP TABLE U");
    }
}

// A connection whose first statement meets another connection's exclusive
// lock fails in SQLPrepare already; that statement must be prepared again.
class SqliteLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_file = UniqueFileName("lock");
        ASSERT_TRUE(m_holder.OpenEx(SqliteConnect(m_file).c_str()));
        m_holder.ExecuteSQL("CREATE TABLE L (V integer)");
        m_holder.ExecuteSQL("INSERT INTO L VALUES (7)");
        m_holder.ExecuteSQL("BEGIN EXCLUSIVE");
        // A short busy wait, so the driver gives up before the layer does.
        ASSERT_TRUE(m_waiter.OpenEx(SqliteConnect(m_file, 50).c_str()));
    }

    std::string m_file;
    CDatabase m_holder;
    CDatabase m_waiter;
};

TEST_F(SqliteLockTest, PrepareIsRepeatedUntilTheLockIsGone) {
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        m_holder.ExecuteSQL("COMMIT");
    });
    Statement st(m_waiter);
    st.SetLockWait(std::chrono::seconds(10));
    auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(st.Prepare("SELECT V FROM L"));
    release.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.GetInt32(1), 7);
}

TEST_F(SqliteLockTest, PrepareGivesUpAfterTheLockWait) {
    Statement st(m_waiter);
    st.SetLockWait(std::chrono::milliseconds(300));
    auto start = std::chrono::steady_clock::now();
    try {
        st.Prepare("SELECT V FROM L");
        FAIL() << "prepared under an exclusive lock";
    } catch (const CDBException& e) {
        EXPECT_TRUE(qel::odbc::IsLockError(Engine::SQLite, e.m_records.front())) << e.what();
    }
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_LT(waited, std::chrono::seconds(3));
    m_holder.ExecuteSQL("COMMIT");
}

}  // namespace
}  // namespace qel::test
