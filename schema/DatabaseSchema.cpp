// DDL on the database object's connection: the statement text comes from
// DdlText, the type names from the driver, and every statement runs through
// the connection's ExecuteSQL (with its call deadline).
#include <qel/schema/DatabaseSchema.h>

#include <fmt/format.h>

#include <algorithm>

#include <qel/outside/Log.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/DriverQuirks.h>
#include <qel/outside/records/Recordset.h>

namespace {

// The driver's words of a failed statement, for the log.
std::string Reasons(const CDBException& e) {
    std::string why;
    for (const auto& record : e.m_records)
        why += (why.empty() ? "" : "; ") + record.message + " [" + record.state + "]";
    return why.empty() ? e.m_strError : why;
}

}  // namespace

BOOL CDatabaseSchema::LookUpTypeNames(std::span<const SHORT> sqlTypes, std::string* pNames) {
    CDatabase* db = m_pDatabaseObj->GetSchemaConnection();
    if (db == nullptr || !db->IsOpen()) return FALSE;
    for (size_t i = 0; i < sqlTypes.size(); ++i) {
        auto name = qel::odbc::LookUpTypeName(db->m_hdbc, sqlTypes[i]);
        if (!name || name->empty()) return FALSE;
        pNames[i] = *name;
    }
    return TRUE;
}

BOOL CDatabaseSchema::LookUpCatalogueTypeNames(TypeNames* pNames) {
    SHORT types[kColumnTypeCount];
    for (int code = 0; code < kColumnTypeCount; ++code) types[code] = SqlTypeOfColumnType(code);
    return LookUpTypeNames(types, pNames->data());
}

BOOL CDatabaseSchema::RunStatement(const std::string& sql) {
    CDatabase* db = m_pDatabaseObj->GetSchemaConnection();
    if (db == nullptr || !db->IsOpen()) return FALSE;
    try {
        db->ExecuteSQL(sql.c_str());
        return TRUE;
    } catch (const CDBException& e) {
        // The caller only learns FALSE; the driver's words go to the log.
        const std::string head = sql.substr(0, std::min<std::size_t>(sql.find(" ("), 60));
        qel::outside::LogWarning("schema statement " + head + " failed: " + Reasons(e));
        return FALSE;
    }
}

BOOL CDatabaseSchema::CreateTable(LONG lNumber, LONG lVersion, LPCSTR szTable, LONG lColumns,
                                  const ColumnDescriptor* pColumns) {
    TypeNames types;
    if (!LookUpCatalogueTypeNames(&types)) return FALSE;
    const std::span<const ColumnDescriptor> columns(pColumns, static_cast<size_t>(std::max<LONG>(lColumns, 0)));
    if (!RunStatement(CreateTableText(m_pDatabaseObj->GetSchemaEngine(), szTable, columns, types))) return FALSE;

    for (const auto& column : columns)
        if (column.kind == eKindIndexed && !CreateIndex(szTable, column.extra, column.name)) return FALSE;

    CTableRecordset rs(m_pDatabaseObj);
    LONG count = 0;
    const std::string filter = fmt::format("{}={}", "TBLNUMBER", lNumber);
    if (!rs.Open(filter.c_str(), nullptr, &count, 0)) return FALSE;
    BOOL ok = FALSE;
    if (count == 0) {
        rs.AddNew();
        rs.m_TBLNUMBER = static_cast<SHORT>(lNumber);
        rs.m_TBLNEXTKEY = 1;
        rs.m_TBLVERSION = static_cast<SHORT>(lVersion);
        rs.m_TBLUSER = -1;
        rs.SetFieldDirty(&rs.m_TBLNUMBER);
        rs.SetFieldDirty(&rs.m_TBLVERSION);
        if (lNumber == 0) {
            std::string id;
            CQELRecordset::GetID(&id);
            rs.m_TBLDATA1.m_data.assign(id.begin(), id.end());
            rs.SetFieldDirty(&rs.m_TBLDATA1);
            rs.SetFieldNull(&rs.m_TBLDATA1, FALSE);
        }
        ok = rs.Update(0);
    }
    rs.Close();
    return ok;
}

BOOL CDatabaseSchema::CreateIndex(LPCSTR szTable, LPCSTR szIndex, LPCSTR szColumn) {
    return RunStatement(CreateIndexText(szTable, szIndex, szColumn));
}

BOOL CDatabaseSchema::DropIndex(LPCSTR szTable, LPCSTR szIndex) {
    CDatabase* db = m_pDatabaseObj->GetSchemaConnection();
    if (db == nullptr || !db->IsOpen()) return FALSE;
    const auto engine = db->Engine();
    // Engines that do not take the "table.index" form get their own.
    const std::string sql = engine == qel::odbc::Engine::Unknown ? DropIndexText(szTable, szIndex)
                                                                 : qel::odbc::AdaptDropIndex(engine, szTable, szIndex);
    try {
        db->ExecuteSQL(sql.c_str());
        return TRUE;
    } catch (const CDBException& e) {
        const std::string message = e.m_records.empty() ? e.m_strError : e.m_records.front().message;
        return qel::odbc::NormalizeSqlState(engine, e.m_strSQLState, e.m_nNativeError, message) == "S0012" ? TRUE
                                                                                                          : FALSE;
    }
}

BOOL CDatabaseSchema::AddColumn(LPCSTR szTable, LONG lPosition, const ColumnDescriptor* pColumns) {
    TypeNames types;
    if (!LookUpCatalogueTypeNames(&types)) return FALSE;
    return RunStatement(AddColumnText(szTable, pColumns[lPosition], types));
}
