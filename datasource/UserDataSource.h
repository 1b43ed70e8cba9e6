// User data sources of the ODBC installer as an administration tool sees
// them: the client/server engine's data source written with its connection
// attributes, and any data source's keys read back. Both go through the same
// installer loader as the data source setup (QEL_ODBCINST_LIBRARY) and work
// on the user's data sources ($ODBCINI).
//
//   qel::datasource::WriteClientServerDataSource("Clinic", {{"Servername", "db"}, {"Port", "5432"},
//                                                           {"Database", "clinic"}, {"Username", "quorva"}});
//   auto keys = qel::datasource::ReadUserDataSource("Clinic");  // Driver, Servername, ...
#pragma once

#include <optional>
#include <string>

#include <qel/datasource/EngineDrivers.h>
#include <qel/platform/Export.h>

namespace qel::datasource {

// Every key of the user data source with its value ("Driver" included), in
// file order; nullopt when it does not exist or the installer is missing.
QEL_API std::optional<Attributes> ReadUserDataSource(const std::string& dsn);

// Writes the user data source anew for the client/server engine's driver:
// the given attributes, then the engine's standing attributes not given.
// Keys the data source held before and `attributes` does not name are gone
// afterwards. False (nothing kept of a half-written data source) when a name
// is empty or holds '=', a value holds a line break, or the installer
// refuses (e.g. a data source name with []{}(),;?*=!@\).
// A data source file holding a password is made readable by its owner only.
QEL_API bool WriteClientServerDataSource(const std::string& dsn, const Attributes& attributes);

// Whether a data source key holds a password ("Password" or "PWD", any case).
QEL_API bool IsPasswordKey(const std::string& name);

}  // namespace qel::datasource
