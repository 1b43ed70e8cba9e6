// CDatabaseSchema creates and upgrades the tables of the database object's
// open connection: DDL from the table catalogue with the driver's own type
// names, and the first rows of a new database. It keeps only the address of
// its owner and reaches the connection and the engine through it.
#pragma once

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class CDatabaseObj;

class QEL_API CDatabaseSchema {
public:
    explicit CDatabaseSchema(CDatabaseObj* pDatabaseObj) : m_pDatabaseObj(pDatabaseObj) {}
    CDatabaseSchema(const CDatabaseSchema&) = delete;
    CDatabaseSchema& operator=(const CDatabaseSchema&) = delete;

    CDatabaseObj* GetDatabaseObj() const { return m_pDatabaseObj; }

private:
    CDatabaseObj* m_pDatabaseObj;  // the owner; not owned
};
