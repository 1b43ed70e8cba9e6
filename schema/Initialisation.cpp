// Creation and upgrade of a database, run at every open: an empty database
// receives all tables and first rows (and the layouts shipped beside the
// program); an existing one gets a fresh identity while it is still an
// untouched template, and the zero-threshold media type when it lacks one.
// Every step changes nothing when its work is already done.
#include <qel/schema/DatabaseSchema.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include <qel/outside/Log.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/records/LayoutData.h>
#include <qel/outside/records/Recordset.h>
#include <qel/platform/ModulePath.h>

namespace {

std::string KeyFilter(const char* column, LONG value) { return fmt::format("{}={}", column, value); }

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

// Two programs opening a new SQLite file at once would both find it empty
// and both create its tables, and the second would fail. The check and any
// creation therefore run as one write transaction there: the second opener
// waits (up to the driver's busy timeout) and then finds the tables. A
// creation that fails leaves the file empty instead of half made.
class FileEngineWriteTransaction {
public:
    explicit FileEngineWriteTransaction(CDatabase* database) {
        if (database == nullptr || database->Engine() != qel::odbc::Engine::SQLite) return;
        database->ExecuteSQL("BEGIN IMMEDIATE");
        m_database = database;
    }
    ~FileEngineWriteTransaction() { End("ROLLBACK"); }
    FileEngineWriteTransaction(const FileEngineWriteTransaction&) = delete;
    FileEngineWriteTransaction& operator=(const FileEngineWriteTransaction&) = delete;

    BOOL Finish(BOOL result) { return End(result ? "COMMIT" : "ROLLBACK") && result; }

private:
    bool End(const char* statement) noexcept {
        if (m_database == nullptr) return true;
        CDatabase* database = std::exchange(m_database, nullptr);
        try {
            database->ExecuteSQL(statement);
            return true;
        } catch (const CDBException& e) {
            qel::outside::LogWarning(fmt::format("schema check: {} failed: {}", statement, e.m_strError));
        }
        return false;
    }

    CDatabase* m_database = nullptr;
};

}  // namespace

BOOL CDatabaseSchema::CreateTableOf(const char* table) {
    const TableDescriptor* t = FindTable(table);
    return t != nullptr && CreateTable(t->number, t->version, t->name, t->ColumnCount(), t->columns.data());
}

BOOL CDatabaseSchema::CheckAndUpgradeDatabase() {
    try {
        FileEngineWriteTransaction transaction(m_pDatabaseObj->GetSchemaConnection());
        return transaction.Finish(CheckAndUpgradeTables());
    } catch (const CDBException& e) {
        qel::outside::LogWarning(fmt::format("cannot start the schema check: {}", e.m_strError));
        return FALSE;
    }
}

BOOL CDatabaseSchema::CheckAndUpgradeTables() {
    bool empty = true;
    bool candidateTemplate = false;
    {
        CPatientRecordset patients(m_pDatabaseObj);
        const std::string none = KeyFilter("PATKEY", -1);
        if (patients.Open(none.c_str(), nullptr, nullptr, 1)) {
            empty = false;
            patients.Close();
            CTableRecordset table(m_pDatabaseObj);
            LONG count = 0;
            const std::string filter = KeyFilter("TBLNUMBER", 4);
            if (table.Open(filter.c_str(), nullptr, &count, 1) && count == 1 && table.m_TBLNEXTKEY <= 2) {
                LONG patientCount = -1;
                if (patients.Open(nullptr, nullptr, &patientCount, 1) && patientCount == 1) candidateTemplate = true;
            }
            table.Close();
            patients.Close();
        }
    }

    BOOL result = TRUE;
    if (empty) {
        result = CreateDatabaseTables();
    } else if (candidateTemplate) {
        RenewTemplateDatabaseID();
    }
    if (result) result = EnsureZeroThresholdMediaType();
    return result;
}

BOOL CDatabaseSchema::CreateDatabaseTables() {
    if (!CreateTableOf("TBL200") || !CreateTableOf("DOC200")) return FALSE;

    {
        CDoctorRecordset rs(m_pDatabaseObj);
        const std::string filter = KeyFilter("DOCKEY", -1);
        if (!rs.Open(filter.c_str(), nullptr, nullptr, 0)) return FALSE;
        rs.AddNew();
        CQELRecordset::GetID(&rs.m_DOCID);
        rs.m_DOCKEY = 0;
        rs.SetFieldDirty(&rs.m_DOCKEY);
        rs.m_DOCNAME.clear();
        rs.SetFieldDirty(&rs.m_DOCNAME);
        rs.SetFieldNull(&rs.m_DOCNAME, FALSE);
        if (!rs.Update(0)) return FALSE;
        rs.Close();
    }

    if (!CreateTableOf("IMT200") || !EnsureZeroThresholdMediaType()) return FALSE;

    LONG cdRomKey = 0;
    {
        CMediaTypeRecordset rs(m_pDatabaseObj);
        const std::string filter = KeyFilter("IMTKEY", -1);
        if (!rs.Open(filter.c_str(), nullptr, nullptr, 0)) return FALSE;
        rs.AddNew();
        if (!m_pDatabaseObj->AllocateRecordKey(eTableIMT, &cdRomKey)) return FALSE;
        rs.m_IMTKEY = cdRomKey;
        rs.SetFieldDirty(&rs.m_IMTKEY);
        rs.m_IMTNAME = "CD-ROM";
        rs.m_IMTWARNING = 600;
        rs.m_IMTERROR = 640;
        if (!rs.Update(0)) return FALSE;
        rs.Close();
    }

    if (!CreateTableOf("MED200")) return FALSE;
    {
        CMediaRecordset rs(m_pDatabaseObj);
        const std::string filter = KeyFilter("MEDKEY", -1);
        if (!rs.Open(filter.c_str(), nullptr, nullptr, 0)) return FALSE;
        rs.AddNew();
        CQELRecordset::GetID(&rs.m_MEDID);
        rs.m_MEDKEY = 0;
        rs.SetFieldDirty(&rs.m_MEDKEY);
        rs.m_MEDIMTKEY = cdRomKey;
        rs.m_MEDDIRECTORY.clear();
        rs.SetFieldDirty(&rs.m_MEDDIRECTORY);
        rs.SetFieldNull(&rs.m_MEDDIRECTORY, FALSE);
        rs.m_MEDVOLUMELABEL.clear();
        rs.SetFieldDirty(&rs.m_MEDVOLUMELABEL);
        rs.SetFieldNull(&rs.m_MEDVOLUMELABEL, FALSE);
        rs.m_MEDSIZE = 0;
        rs.SetFieldDirty(&rs.m_MEDSIZE);
        if (!rs.Update(0)) return FALSE;
        rs.Close();
    }

    for (const char* table : {"PAT200", "IMG200", "BMP200", "STA200", "LAY200"})
        if (!CreateTableOf(table)) return FALSE;

    ImportLayouts();
    return TRUE;
}

void CDatabaseSchema::ImportLayouts() {
    try {
        const std::string folder = qel::platform::ModuleFolder();
        if (folder.empty()) return;
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            const auto& path = entry.path();
            if (entry.is_regular_file(ec) && path.extension() == ".lay") files.push_back(path);
        }
        CLayoutData layout;
        for (const auto& path : files) {
            LONG parsed = 0;
            std::string message;
            if (layout.ParseLayoutFile(path.string().c_str(), 1, &parsed, &message))
                layout.SaveLayout(m_pDatabaseObj, parsed, &message);
        }
    } catch (...) {
        // A failed import leaves the created tables as they are.
    }
}

BOOL CDatabaseSchema::CreateMultiUserTables() {
    for (const char* table : {"USR200", "LCK200", "MSG200"})
        if (!CreateTableOf(table)) return FALSE;
    return TRUE;
}

BOOL CDatabaseSchema::EnsureZeroThresholdMediaType() {
    CMediaTypeRecordset rs(m_pDatabaseObj);
    LONG count = 0;
    const std::string filter = fmt::format("{}=0 AND {}=0", "IMTWARNING", "IMTERROR");
    if (!rs.Open(filter.c_str(), nullptr, &count, 0)) return FALSE;
    if (count != 0) return TRUE;

    rs.AddNew();
    LONG key = 0;
    if (!m_pDatabaseObj->AllocateRecordKey(eTableIMT, &key)) return FALSE;
    rs.m_IMTKEY = key;
    rs.SetFieldDirty(&rs.m_IMTKEY);
    rs.m_IMTNAME.clear();
    rs.SetFieldDirty(&rs.m_IMTNAME);
    rs.SetFieldNull(&rs.m_IMTNAME, FALSE);
    rs.m_IMTWARNING = 0;
    rs.SetFieldDirty(&rs.m_IMTWARNING);
    rs.m_IMTERROR = 0;
    rs.SetFieldDirty(&rs.m_IMTERROR);
    return rs.Update(0);
}

BOOL CDatabaseSchema::RenewTemplateDatabaseID() {
    CTableRecordset table(m_pDatabaseObj);
    LONG count = 0;
    const std::string filter = KeyFilter("TBLNUMBER", 0);
    if (!table.Open(filter.c_str(), nullptr, &count, 0) || count != 1) return FALSE;

    const std::string id(table.m_TBLDATA1.m_data.begin(), table.m_TBLDATA1.m_data.end());
    bool qualifies = id.empty() || std::find(std::begin(kTemplateDatabaseIDs), std::end(kTemplateDatabaseIDs),
                                             std::string_view(id)) != std::end(kTemplateDatabaseIDs);
    if (!qualifies) return FALSE;

    {
        CMediaRecordset media(m_pDatabaseObj);
        LONG mediaCount = 0;
        if (!media.Open(nullptr, nullptr, &mediaCount, 0)) {
            qualifies = false;
        } else if (mediaCount > 0 && !media.IsBOF()) {
            media.MoveFirst();
            for (LONG visited = 0; qualifies && !media.IsEOF() && visited < mediaCount; ++visited) {
                if (!IsBlank(media.m_MEDDIRECTORY) || media.m_MEDSIZE > 0) qualifies = false;
                media.MoveNext();
            }
        }
    }
    if (!qualifies) return FALSE;

    table.Edit();
    std::string fresh;
    CQELRecordset::GetID(&fresh);
    table.m_TBLDATA1.m_data.assign(fresh.begin(), fresh.end());
    table.SetFieldDirty(&table.m_TBLDATA1);
    table.SetFieldNull(&table.m_TBLDATA1, FALSE);
    return table.Update(0);
}
