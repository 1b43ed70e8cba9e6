// WriteCache: a larger page cache for one long write transaction.
//
//   CDatabase& db = ...;
//   {
//       qel::odbc::WriteCache cache(db);   // widened from here ...
//       db.BeginTrans();
//       ... 100,000 inserts ...
//       db.CommitTrans();
//   }                                      // ... back to what it was
//
// SQLite holds a transaction's changed pages in its page cache (2 MB by
// default) and, once that is full, writes them to the journal before the
// commit; a large import then writes many pages several times. WriteCache
// raises the cache of the connection to 64 MiB for its lifetime and puts the
// former size back.
//
// It also keeps the connection's temporary files in memory (temp_store):
// every statement of a transaction that changes several rows keeps the
// former content of the pages it changes in a statement journal, so that a
// failing row undoes only its own statement. On disk, an import of 100,000
// patients in batches of 500 wrote about 700 MB to /var/tmp that way. The
// statement journal holds one statement's pages and is freed after it.
// SQLite decides where a transaction's statement journals go when the
// transaction first writes, so the cache is made before the transaction.
//
// On other engines it does nothing. Nothing here throws: a
// cache that cannot be changed only costs speed.
#pragma once

#include <optional>
#include <string>

#include <qel/platform/Export.h>

class CDatabase;

namespace qel::odbc {

class QEL_API WriteCache {
public:
    explicit WriteCache(CDatabase& database) noexcept;
    ~WriteCache();
    WriteCache(const WriteCache&) = delete;
    WriteCache& operator=(const WriteCache&) = delete;

private:
    CDatabase& m_database;
    std::optional<std::string> m_formerCache;      // the cache_size to put back
    std::optional<std::string> m_formerTempStore;  // and the temp_store
};

}  // namespace qel::odbc
