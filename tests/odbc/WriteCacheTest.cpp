// The larger page cache and in-memory statement journals of a long write:
// on SQLite for the guard's lifetime, then the settings from before;
// elsewhere nothing changes. A failing statement is still undone alone.
#include <gtest/gtest.h>

#include <qel/outside/odbc/Statement.h>
#include <qel/outside/odbc/WriteCache.h>

#include "OdbcTestSupport.h"

namespace qel::test {
namespace {

class WriteCacheTest : public EngineTest {
protected:
    std::optional<std::string> Pragma(const char* name) {
        if (Engine() != qel::odbc::Engine::SQLite) return std::nullopt;
        qel::odbc::Statement st(m_db);
        st.ExecuteDirect(std::string("PRAGMA ") + name);
        return st.Fetch() ? st.GetText(1) : std::nullopt;
    }
};

TEST_P(WriteCacheTest, WidensForItsLifetimeAndPutsTheFormerSettingsBack) {
    const bool sqlite = Engine() == qel::odbc::Engine::SQLite;
    if (sqlite) m_db.ExecuteSQL("PRAGMA cache_size = -3000");
    const auto cacheBefore = Pragma("cache_size");
    const auto tempBefore = Pragma("temp_store");
    {
        const qel::odbc::WriteCache cache(m_db);
        if (sqlite) {
            EXPECT_EQ(Pragma("cache_size"), "-65536");
            EXPECT_EQ(Pragma("temp_store"), "2");
        }
        ASSERT_TRUE(m_db.BeginTrans());
        m_db.ExecuteSQL("CREATE TABLE W (K INTEGER PRIMARY KEY, V INTEGER UNIQUE)");
        m_db.ExecuteSQL("INSERT INTO W VALUES (1, 1), (2, 2)");
        // A statement that fails part-way is undone alone, the transaction kept.
        EXPECT_ANY_THROW(m_db.ExecuteSQL("INSERT INTO W VALUES (3, 3), (4, 1)"));
        ASSERT_TRUE(m_db.CommitTrans());
    }
    EXPECT_EQ(Pragma("cache_size"), cacheBefore);
    EXPECT_EQ(Pragma("temp_store"), tempBefore);
    if (sqlite) {
        EXPECT_EQ(cacheBefore, "-3000");
    }
    qel::odbc::Statement st(m_db);
    st.ExecuteDirect("SELECT count(*) FROM W");
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.GetInt32(1), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, WriteCacheTest, qel::test::BothDriverEngines(),
                         qel::test::DriverEngineParamName);

}  // namespace
}  // namespace qel::test
