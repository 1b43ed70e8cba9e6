#include <qel/outside/odbc/WriteCache.h>

#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Statement.h>

namespace qel::odbc {

namespace {

// A negative cache_size counts KiB.
constexpr const char* kLargeCache = "-65536";

// Reads a pragma's value, or nullopt when the driver gives none.
std::optional<std::string> ReadPragma(CDatabase& database, const char* name) {
    Statement st(database);
    st.ExecuteDirect(std::string("PRAGMA ") + name);
    if (!st.Fetch()) return std::nullopt;
    return st.GetText(1);
}

}  // namespace

WriteCache::WriteCache(CDatabase& database) noexcept : m_database(database) {
    if (!database.IsOpen() || database.Engine() != Engine::SQLite) return;
    try {
        if (std::optional<std::string> former = ReadPragma(database, "cache_size")) {
            database.ExecuteSQL((std::string("PRAGMA cache_size = ") + kLargeCache).c_str());
            m_formerCache = std::move(former);
        }
        if (std::optional<std::string> former = ReadPragma(database, "temp_store")) {
            database.ExecuteSQL("PRAGMA temp_store = MEMORY");
            m_formerTempStore = std::move(former);
        }
    } catch (const std::exception&) {
        // The write goes on with what it has.
    }
}

WriteCache::~WriteCache() {
    if (!m_database.IsOpen()) return;
    try {
        if (m_formerTempStore) m_database.ExecuteSQL(("PRAGMA temp_store = " + *m_formerTempStore).c_str());
        if (m_formerCache) m_database.ExecuteSQL(("PRAGMA cache_size = " + *m_formerCache).c_str());
    } catch (const std::exception&) {
        // The connection keeps the larger cache until it closes.
    }
}

}  // namespace qel::odbc
