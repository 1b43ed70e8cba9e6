// The ODBC drivers behind the engine codes, in one place.
//
//   1  client/server engine: psqlODBC ("PostgreSQL Unicode") on this platform
//   2  file engine: the SQLite3 ODBC driver ("SQLite3") on this platform
//
// The driver names a Windows build would register are kept beside them.
// Every data source the component writes for the file engine carries the
// standing attributes below; a SQLite3 data source without "Database" would
// silently open an in-memory database, so the path is always written.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::datasource {

constexpr LONG kEngineClientServer = 1;
constexpr LONG kEngineFile = 2;

constexpr const char* kWindowsClientServerDriver = "SOLID Server 2.2";
constexpr const char* kWindowsFileDriver = "Microsoft Access Driver (*.mdb)";

constexpr const char* kClientServerDriver = "PostgreSQL Unicode";
constexpr const char* kFileDriver = "SQLite3";

// The attribute naming the database file of the file engine's driver.
constexpr const char* kFileDatabaseAttribute = "Database";

// Busy wait of the file engine, in milliseconds: concurrent writers from
// other workstations wait this long for a lock before failing.
constexpr int kFileBusyTimeoutMs = 30000;

// The driver of an engine code on this platform; empty for other codes.
QEL_API std::string DriverName(LONG engine);

using Attributes = std::vector<std::pair<std::string, std::string>>;

// Attributes every file-engine data source carries besides its path:
// streaming reads, a busy timeout, enforced references, write-ahead
// logging with full synchronisation (a committed row survives a crash).
QEL_API Attributes FileEngineStandingAttributes();
// Attributes a PostgreSQL data source needs (long binary as bytea).
QEL_API Attributes ClientServerStandingAttributes();

// A connect string that reaches a database file without a data source.
QEL_API std::string FileEngineConnectString(const std::string& path);

}  // namespace qel::datasource
