// The ODBC installer as the data source setup uses it: user data sources
// registered, re-registered and removed, and the file engine's database
// created.
//
// The installer library ("libodbcinst.so.2", or the library named by the
// environment variable QEL_ODBCINST_LIBRARY) is opened on first use and each
// function is looked up by name; when the library or a function is missing
// the call answers FALSE. A change of QEL_ODBCINST_LIBRARY is noticed on the
// next call, which then opens the library it names.
//
// unixODBC's SQLConfigDataSource fails for the component's drivers (they
// have no setup entry point), so ConfigDataSource answers ODBC_ADD_DSN for
// them itself, with the results the setup relies on:
//   - "DSN=name\0key=value\0...\0" writes the user data source with its
//     driver and every attribute ("DBQ" becomes the file driver's
//     "Database"), plus the engine's standing attributes. A file-engine data
//     source without a database path is refused: the driver would open an
//     in-memory database.
//   - "CREATE_DB=\"path\"" creates an empty database file at the path and
//     fails when the path exists already or cannot be created (missing
//     folder, no permission). The new file is opened once through the
//     driver, so a file the driver cannot use is removed and reported.
// Other drivers go to the library's own SQLConfigDataSource.
//
// The installer's own writes rewrite the whole user ini file without a lock
// between processes, so the component writes, re-registers and removes its
// data sources itself, each in one locked, atomic replace of the file that
// is skipped when nothing would change (OdbcIniFileInternal.h). Reads go
// through the installer, as the driver manager reads.
//
// All calls are serialised by one process-wide lock; reads run in the
// installer's user mode (the user ini file, $ODBCINI) and put the previous
// mode back.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <qel/platform/WinTypes.h>

namespace qel::datasource::installer {

// The request of SQLConfigDataSource that adds a data source.
constexpr WORD kAddDsn = 1;

// The default library and the variable that overrides it.
constexpr const char* kLibraryName = "libodbcinst.so.2";
constexpr const char* kLibraryVariable = "QEL_ODBCINST_LIBRARY";

// `attributes` is a list of zero-terminated strings ended by an empty one.
BOOL ConfigDataSource(HWND hwndParent, WORD request, LPCSTR driver, LPCSTR attributes);

// Re-asserts the driver of a data source and keeps its other keys; a data
// source that does not exist is created with only its driver.
BOOL WriteDataSourceDriver(LPCSTR dsn, LPCSTR driver);

// Every key of a user data source with its value, in the order the installer
// lists them; nullopt when the data source does not exist or the installer
// cannot be asked.
std::optional<std::vector<std::pair<std::string, std::string>>> ReadDataSource(LPCSTR dsn);

// SQLRemoveDSNFromIni (TRUE also for a data source that does not exist).
BOOL RemoveDSNFromIni(LPCSTR dsn);

}  // namespace qel::datasource::installer
