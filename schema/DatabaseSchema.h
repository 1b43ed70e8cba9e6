// CDatabaseSchema creates and upgrades the tables of the database object's
// open connection: DDL from the table catalogue with the driver's own type
// names, and the first rows of a new database. It keeps only the address of
// its owner and reaches the connection and the engine through it.
#pragma once

#include <span>
#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>
#include <qel/schema/DdlText.h>
#include <qel/schema/SchemaHost.h>

class QEL_API CDatabaseSchema {
public:
    explicit CDatabaseSchema(ISchemaHost* pDatabaseObj) : m_pDatabaseObj(pDatabaseObj) {}
    CDatabaseSchema(const CDatabaseSchema&) = delete;
    CDatabaseSchema& operator=(const CDatabaseSchema&) = delete;

    // --- DDL on the owner's open connection. None of these sets the owner's
    // error state; they answer FALSE and leave reporting to the caller.
    // Creates the table with its constraints and indexes and enters it in TBL200.
    BOOL CreateTable(LONG lNumber, LONG lVersion, LPCSTR szTable, LONG lColumns, const ColumnDescriptor* pColumns);
    BOOL CreateIndex(LPCSTR szTable, LPCSTR szIndex, LPCSTR szColumn);
    // Succeeds also when the index does not exist (SQLSTATE "S0012").
    BOOL DropIndex(LPCSTR szTable, LPCSTR szIndex);
    BOOL AddColumn(LPCSTR szTable, LONG lPosition, const ColumnDescriptor* pColumns);

    // The driver's type names for the SQL types given (one per entry), asked
    // afresh with SQLGetTypeInfo; FALSE at the first type the driver lacks.
    BOOL LookUpTypeNames(std::span<const SHORT> sqlTypes, std::string* pNames);

    // --- Creation and upgrade of the database, run at every open.
    BOOL CheckAndUpgradeDatabase();
    BOOL CreateDatabaseTables();
    BOOL CreateMultiUserTables();
    BOOL EnsureZeroThresholdMediaType();
    BOOL RenewTemplateDatabaseID();

    // The identities of the two template databases distributed for new
    // installations; a database still carrying one gets a fresh identity.
    static constexpr const char* kTemplateDatabaseIDs[2] = {"51E7A0C4D29B4F3E8A6C1D0B9F2E4A77",
                                                            "A3C95E10B7D84F2693E1C0D5B8A47F62"};

private:
    BOOL LookUpCatalogueTypeNames(TypeNames* pNames);
    BOOL RunStatement(const std::string& sql);
    BOOL CreateTableOf(const char* table);
    // The checks and steps of CheckAndUpgradeDatabase, inside its transaction.
    BOOL CheckAndUpgradeTables();
    void ImportLayouts();

    ISchemaHost* m_pDatabaseObj;  // the owner; not owned
};
