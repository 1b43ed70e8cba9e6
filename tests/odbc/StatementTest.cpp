// Bound statements against the real drivers: values arrive as written, long
// values survive the piecewise reads, and the drivers' odd answers (no row
// matched, padding, errors) reach the caller faithfully.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include <fmt/format.h>

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

// Declared columns read in blocks answer exactly what SQLGetData answers, row
// by row across several blocks, with NULLs, and with texts longer than the
// declared length (read again whole); a long column after the bound ones is
// read with SQLGetData.
TEST_P(StatementTest, BoundBlocksReadWhatUnboundReadsRead) {
    using qel::odbc::ResultKind;
    constexpr int kRows = 1300;  // several blocks
    m_db.BeginTrans();
    Statement insert(m_db);
    insert.Prepare("INSERT INTO T (K, S, N, TS, B) VALUES (?, ?, ?, ?, ?)");
    for (int k = 1; k <= kRows; ++k) {
        insert.SetInt32(1, k);
        if (k % 7 == 0) insert.SetNull(2, SQL_SMALLINT);
        else insert.SetInt16(2, static_cast<std::int16_t>(k % 30000 - 15000));
        if (k % 11 == 0) insert.SetNull(3);
        else insert.SetText(3, std::string(static_cast<std::size_t>(k % 41), 'a' + k % 26) + (k % 3 ? "ä日" : ""));
        if (k % 5 == 0) insert.SetNull(4, SQL_TYPE_TIMESTAMP);
        else insert.SetTimestamp(4, SQL_TIMESTAMP_STRUCT{2020, 1, static_cast<SQLUSMALLINT>(1 + k % 28), 8, 30, 0, 0});
        insert.SetBinary(5, std::vector<std::uint8_t>(static_cast<std::size_t>(k % 4), static_cast<std::uint8_t>(k)));
        ASSERT_EQ(insert.Execute(), 1);
    }
    m_db.CommitTrans();

    struct Row {
        std::optional<std::int32_t> k;
        std::optional<std::int16_t> s;
        std::optional<std::string> n;
        std::optional<SQL_TIMESTAMP_STRUCT> ts;
        std::optional<std::vector<std::uint8_t>> b;
    };
    const auto read = [&](std::vector<qel::odbc::ResultColumn> columns, bool withBinary, bool direct = false) {
        Statement select(m_db);
        const std::string sql =
            withBinary ? "SELECT K, S, N, TS, B FROM T ORDER BY K" : "SELECT K, S, N, TS FROM T ORDER BY K";
        if (!direct) select.Prepare(sql);
        if (!columns.empty()) select.BindResult(std::move(columns));
        if (direct) select.ExecuteDirect(sql);
        else select.Execute();
        std::vector<Row> rows;
        std::string reused = "left over";
        while (select.Fetch()) {
            Row row{select.GetInt32(1), select.GetInt16(2), std::nullopt, select.GetTimestamp(4), std::nullopt};
            if (select.ReadText(3, reused)) row.n = reused;
            if (withBinary) row.b = select.GetBinary(5);
            rows.push_back(std::move(row));
        }
        return rows;
    };
    const auto same = [](const std::vector<Row>& a, const std::vector<Row>& b) {
        if (a.size() != b.size()) return ::testing::AssertionFailure() << a.size() << " rows against " << b.size();
        const auto stamp = [](const std::optional<SQL_TIMESTAMP_STRUCT>& t) {
            return t ? fmt::format("{}-{}-{} {}:{}", t->year, t->month, t->day, t->hour, t->minute) : "NULL";
        };
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].k != b[i].k || a[i].s != b[i].s || a[i].n != b[i].n || stamp(a[i].ts) != stamp(b[i].ts) ||
                a[i].b != b[i].b)
                return ::testing::AssertionFailure() << "row " << i + 1 << " differs";
        return ::testing::AssertionSuccess();
    };

    const std::vector<Row> unbound = read({}, false);
    ASSERT_EQ(unbound.size(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(unbound[10].n, std::nullopt);
    const std::vector<qel::odbc::ResultColumn> declared = {
        {ResultKind::Int32}, {ResultKind::Int16}, {ResultKind::Text, 60}, {ResultKind::Timestamp}};
    EXPECT_TRUE(same(read(declared, false), unbound));
    EXPECT_TRUE(same(read(declared, false, true), unbound));
    EXPECT_TRUE(same(read({}, false, true), unbound));
    // Eight characters declared: the longer texts overflow the bound buffer.
    // psqlODBC gives them again whole; the SQLite driver cannot, and says so.
    const std::vector<qel::odbc::ResultColumn> narrow = {
        {ResultKind::Int32}, {ResultKind::Int16}, {ResultKind::Text, 8}, {ResultKind::Timestamp}};
    if (Engine() == qel::odbc::Engine::SQLite)
        EXPECT_EQ(StateOf([&] { read(narrow, false); }), "01004");
    else
        EXPECT_TRUE(same(read(narrow, false), unbound));
    const std::vector<Row> withBinary = read({}, true);
    EXPECT_TRUE(same(read({{ResultKind::Int32}, {ResultKind::Int16}, {ResultKind::Text, 60}, {ResultKind::Timestamp},
                           {ResultKind::Long}},
                          true),
                     withBinary));

    // A getter of another type than declared is refused, not misread.
    Statement select(m_db);
    select.Prepare("SELECT K FROM T ORDER BY K");
    select.BindResult({{ResultKind::Int32}});
    select.Execute();
    ASSERT_TRUE(select.Fetch());
    EXPECT_EQ(StateOf([&] { select.GetInt16(1); }), "07006");
    // A statement executed directly is not left prepared.
    select.ExecuteDirect("SELECT K FROM T WHERE K = 1");
    ASSERT_TRUE(select.Fetch());
    EXPECT_EQ(select.GetInt32(1), 1);
    EXPECT_EQ(StateOf([&] { select.Execute(); }), "HY010");
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

INSTANTIATE_TEST_SUITE_P(Engines, StatementTest, qel::test::BothDriverEngines(), qel::test::DriverEngineParamName);

TEST(PostgreSqlDrivers, BothDriversRoundTripUtf8ThroughTheAnsiCalls) {
    QEL_REQUIRE_ENGINE(Engine::PostgreSQL);
    auto scratch = *ScratchDatabase::Create(qel::datasource::kEngineClientServer, "drivers");
    const std::string text = "Ünïcödé 漢字 ﾊﾟﾝ 😀";
    for (const char* driver : {"PostgreSQL Unicode", "PostgreSQL ANSI"}) {
        SCOPED_TRACE(driver);
        CDatabase db;
        ASSERT_TRUE(db.OpenEx(PostgresConnectString(scratch.Location(), driver).c_str()));
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

    // Commits the holder's transaction, and so lets the lock go, in 400 ms.
    std::thread ReleaseLater() {
        return std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            m_holder.ExecuteSQL("COMMIT");
        });
    }

    std::string m_file;
    CDatabase m_holder;
    CDatabase m_waiter;
};

TEST_F(SqliteLockTest, PrepareIsRepeatedUntilTheLockIsGone) {
    std::thread release = ReleaseLater();
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

TEST_F(SqliteLockTest, DirectExecutionIsRepeatedUntilTheLockIsGone) {
    std::thread release = ReleaseLater();
    Statement st(m_waiter);
    st.SetLockWait(std::chrono::seconds(10));
    st.BindResult({{qel::odbc::ResultKind::Int32}});
    auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(st.ExecuteDirect("SELECT V FROM L"));
    release.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
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
