// CDataSourceSetup makes sure the ODBC data source of the database object's
// profile exists before connecting (and the database file, for the file
// engine), registers it again after a failed first connection, and removes
// the data source of a temporary profile when it is closed. It keeps only
// the address of its owner and reads the owner's engine, data source name
// and directory (the database file's path).
//
//   engine 1 (client/server)   prepare: TRUE (the server holds the database)
//                              register again: re-asserts the driver of the
//                              user data source and keeps its other keys
//                              remove: removes the user data source
//   engine 2 (file)            prepare: creates the missing folders and the
//                              database file, then registers the data source
//                              register again: writes the data source anew
//                              remove: removes the user data source
//   any other code             every operation is a successful no-op
//
// Folders of a missing database file are created from the top down: the
// folder part runs up to the path's last '/' when that '/' is not its first
// character; every prefix of it ending before a later '/' is created, then
// the folder part itself. The root is never created, and a path without '/'
// or with its only '/' first creates no folder. Results of the folder
// creations are not looked at (an existing folder is fine).
//
// A data source name the driver manager cannot take (DataSourceName.h) is
// refused by prepare and register-again before any folder, file or data
// source is written.
//
// A failed open takes back what its preparation created: prepare records in
// a PreparedDataSource whether the data source existed and which folders
// and database file it made, and UndoPreparation removes the data source if
// it was new, the database file (with its SQLite side files) and those
// folders while they are empty.
//
// The data sources are user data sources of the ODBC installer ($ODBCINI);
// the installer library can be replaced through QEL_ODBCINST_LIBRARY (see
// docs/odbc.md). The operations return FALSE on failure, set no error code
// of their own and never throw.
#pragma once

#include <string>
#include <vector>

#include <qel/datasource/DataSourceHost.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>


// What one preparation created, for UndoPreparation.
struct PreparedDataSource {
    std::string dataSource;               // the data source name prepared
    bool dataSourceExisted = true;        // false: it was absent before, so undo removes it
    std::string createdFile;              // the database file created, or empty
    std::vector<std::string> createdFolders;  // folders created, from the top down
};

class QEL_API CDataSourceSetup {
public:
    explicit CDataSourceSetup(IDataSourceHost* pDatabaseObj) : m_pDatabaseObj(pDatabaseObj) {}
    CDataSourceSetup(const CDataSourceSetup&) = delete;
    CDataSourceSetup& operator=(const CDataSourceSetup&) = delete;

    BOOL PrepareDataSource();
    // The same, recording what it creates in `created` (also on failure).
    BOOL PrepareDataSource(PreparedDataSource* created);
    // Removes what `created` records; never throws.
    void UndoPreparation(const PreparedDataSource& created) noexcept;
    BOOL RegisterDataSourceAgain();
    BOOL RemoveDataSource();

private:
    BOOL RegisterFileDataSource();
    BOOL PrepareFileDatabase(PreparedDataSource* created);

    IDataSourceHost* m_pDatabaseObj;  // the owner; not owned
};
