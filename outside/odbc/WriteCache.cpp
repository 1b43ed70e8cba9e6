#include <qel/outside/odbc/WriteCache.h>

#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Statement.h>

namespace qel::odbc {

namespace {

// A negative cache_size counts KiB.
constexpr const char* kLargeCache = "-65536";

}  // namespace

WriteCache::WriteCache(CDatabase& database) noexcept : m_database(database) {
    if (!database.IsOpen() || database.Engine() != Engine::SQLite) return;
    try {
        Statement st(database);
        st.Prepare("PRAGMA cache_size");
        st.Execute();
        if (!st.Fetch()) return;
        const std::optional<std::string> former = st.GetText(1);
        st.CloseCursor();
        if (!former) return;
        database.ExecuteSQL((std::string("PRAGMA cache_size = ") + kLargeCache).c_str());
        m_former = former;
    } catch (const std::exception&) {
        // The write goes on with the cache it has.
    }
}

WriteCache::~WriteCache() {
    if (!m_former || !m_database.IsOpen()) return;
    try {
        m_database.ExecuteSQL(("PRAGMA cache_size = " + *m_former).c_str());
    } catch (const std::exception&) {
        // The connection keeps the larger cache until it closes.
    }
}

}  // namespace qel::odbc
