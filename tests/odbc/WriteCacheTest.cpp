// The larger page cache of a long write: on SQLite for the guard's lifetime,
// then the size from before; elsewhere nothing changes.
#include <gtest/gtest.h>

#include <qel/outside/odbc/Statement.h>
#include <qel/outside/odbc/WriteCache.h>

#include "OdbcTestSupport.h"

namespace qel::test {
namespace {

class WriteCacheTest : public EngineTest {
protected:
    std::optional<std::string> CacheSize() {
        if (Engine() != qel::odbc::Engine::SQLite) return std::nullopt;
        qel::odbc::Statement st(m_db);
        st.Prepare("PRAGMA cache_size");
        st.Execute();
        return st.Fetch() ? st.GetText(1) : std::nullopt;
    }
};

TEST_P(WriteCacheTest, WidensForItsLifetimeAndPutsTheFormerSizeBack) {
    if (Engine() == qel::odbc::Engine::SQLite) m_db.ExecuteSQL("PRAGMA cache_size = -3000");
    const auto before = CacheSize();
    ASSERT_TRUE(m_db.BeginTrans());
    {
        const qel::odbc::WriteCache cache(m_db);
        if (Engine() == qel::odbc::Engine::SQLite) {
            EXPECT_EQ(CacheSize(), "-65536");
        }
        m_db.ExecuteSQL("CREATE TABLE W (K INTEGER)");
        ASSERT_TRUE(m_db.CommitTrans());
    }
    EXPECT_EQ(CacheSize(), before);
    if (Engine() == qel::odbc::Engine::SQLite) {
        EXPECT_EQ(before, "-3000");
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, WriteCacheTest, qel::test::BothDriverEngines(),
                         qel::test::DriverEngineParamName);

}  // namespace
}  // namespace qel::test
