// CDataSourceSetup makes sure the ODBC data source of the database object's
// profile exists before connecting (and the database file, for the file
// engine), registers it again after a failed first connection, and removes
// the data source of a temporary profile when it is closed. It keeps only
// the address of its owner and reads the owner's engine, data source name
// and directory.
#pragma once

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class CDatabaseObj;

class QEL_API CDataSourceSetup {
public:
    explicit CDataSourceSetup(CDatabaseObj* pDatabaseObj) : m_pDatabaseObj(pDatabaseObj) {}
    CDataSourceSetup(const CDataSourceSetup&) = delete;
    CDataSourceSetup& operator=(const CDataSourceSetup&) = delete;

    CDatabaseObj* GetDatabaseObj() const { return m_pDatabaseObj; }

private:
    CDatabaseObj* m_pDatabaseObj;  // the owner; not owned
};
