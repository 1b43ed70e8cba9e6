// WriteCache: a larger page cache for one long write transaction.
//
//   CDatabase& db = ...;
//   db.BeginTrans();
//   {
//       qel::odbc::WriteCache cache(db);   // widened from here ...
//       ... 100,000 inserts ...
//       db.CommitTrans();
//   }                                      // ... back to what it was
//
// SQLite holds a transaction's changed pages in its page cache (2 MB by
// default) and, once that is full, writes them to the journal before the
// commit; a large import then writes many pages several times. WriteCache
// raises the cache of the connection to 64 MiB for its lifetime and puts the
// former size back. On other engines it does nothing. Nothing here throws: a
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
    std::optional<std::string> m_former;  // the cache_size to put back
};

}  // namespace qel::odbc
