// DDL on the database object's connection: the statement text comes from
// DdlText, the type names from the driver, and every statement runs as
// allocate, prepare, execute, free.
#include <qel/schema/DatabaseSchema.h>

#include <fmt/format.h>

#include <algorithm>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/CallWatchdogInternal.h>
#include <qel/outside/Log.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Diagnostics.h>
#include <qel/outside/odbc/DriverQuirks.h>
#include <qel/outside/records/Recordset.h>

namespace {

// A statement handle freed with SQL_DROP whatever happens.
class AllocatedStatement {
public:
    explicit AllocatedStatement(SQLHDBC hdbc) {
        if (hdbc == SQL_NULL_HDBC || !SQL_SUCCEEDED(SQLAllocStmt(hdbc, &m_hstmt))) m_hstmt = SQL_NULL_HSTMT;
    }
    ~AllocatedStatement() {
        if (m_hstmt != SQL_NULL_HSTMT) SQLFreeStmt(m_hstmt, SQL_DROP);
    }
    AllocatedStatement(const AllocatedStatement&) = delete;
    AllocatedStatement& operator=(const AllocatedStatement&) = delete;

    explicit operator bool() const { return m_hstmt != SQL_NULL_HSTMT; }
    SQLHSTMT Get() const { return m_hstmt; }

private:
    SQLHSTMT m_hstmt = SQL_NULL_HSTMT;
};

}  // namespace

BOOL CDatabaseSchema::LookUpTypeNames(std::span<const SHORT> sqlTypes, std::string* pNames) {
    CDatabase* db = m_pDatabaseObj->GetDatabase();
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
    CDatabase* db = m_pDatabaseObj->GetDatabase();
    if (db == nullptr || !db->IsOpen()) return FALSE;
    AllocatedStatement st(db->m_hdbc);
    if (!st) return FALSE;
    auto* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str()));
    qel::odbc::CallDeadline deadline(db->m_hdbc);
    if (SQL_SUCCEEDED(SQLPrepare(st.Get(), text, SQL_NTS)) && SQL_SUCCEEDED(SQLExecute(st.Get()))) return TRUE;
    // The caller only learns FALSE; the driver's words go to the log.
    std::string why;
    for (const auto& record : qel::odbc::ReadDiagnostics(SQL_HANDLE_STMT, st.Get()))
        why += (why.empty() ? "" : "; ") + record.message + " [" + record.state + "]";
    const std::string head = sql.substr(0, std::min<std::size_t>(sql.find(" ("), 60));
    qel::outside::LogWarning("schema statement " + head + " failed: " +
                             (why.empty() ? std::string("the driver gave no reason") : why));
    return FALSE;
}

BOOL CDatabaseSchema::CreateTable(LONG lNumber, LONG lVersion, LPCSTR szTable, LONG lColumns,
                                  const ColumnDescriptor* pColumns) {
    TypeNames types;
    if (!LookUpCatalogueTypeNames(&types)) return FALSE;
    const std::span<const ColumnDescriptor> columns(pColumns, static_cast<size_t>(std::max<LONG>(lColumns, 0)));
    if (!RunStatement(CreateTableText(m_pDatabaseObj->lEngine, szTable, columns, types))) return FALSE;

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
    CDatabase* db = m_pDatabaseObj->GetDatabase();
    if (db == nullptr || !db->IsOpen()) return FALSE;
    AllocatedStatement st(db->m_hdbc);
    if (!st) return FALSE;
    const auto engine = db->Engine();
    // Engines that do not take the "table.index" form get their own.
    const std::string sql = engine == qel::odbc::Engine::Unknown ? DropIndexText(szTable, szIndex)
                                                                 : qel::odbc::AdaptDropIndex(engine, szTable, szIndex);
    auto* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str()));
    {
        qel::odbc::CallDeadline deadline(db->m_hdbc);
        if (SQL_SUCCEEDED(SQLPrepare(st.Get(), text, SQL_NTS)) && SQL_SUCCEEDED(SQLExecute(st.Get()))) return TRUE;
    }

    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[100] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, st.Get(), state, &native, message, sizeof message, &length)))
        return FALSE;
    const std::string sqlState = qel::odbc::NormalizeSqlState(engine, reinterpret_cast<const char*>(state), native,
                                                              reinterpret_cast<const char*>(message));
    return sqlState == "S0012" ? TRUE : FALSE;
}

BOOL CDatabaseSchema::AddColumn(LPCSTR szTable, LONG lPosition, const ColumnDescriptor* pColumns) {
    TypeNames types;
    if (!LookUpCatalogueTypeNames(&types)) return FALSE;
    return RunStatement(AddColumnText(szTable, pColumns[lPosition], types));
}
