// The settings record in a real database, the three flags, the disk space
// controller against a fake application server, and the profile identity
// check, on both engines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <qel/database/SettingsRecord.h>
#include <qel/outside/QELServer.h>
#include <qel/outside/records/Recordset.h>
#include <qel/platform/ClassRegistry.h>
#include <qel/platform/Registry.h>

#include <qel/database/DatabaseObjInternal.h>

#include "support/Engines.h"

namespace {

using Access = DatabaseObjInternals;
using qel::test::ScratchDatabase;

// Answers with a set free space (or failure) and remembers what it was told.
class FakeServer final : public IQELServer {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!(riid == IID_IQELServer) && !(riid == IID_IUnknown)) return E_NOINTERFACE;
        *ppv = static_cast<IQELServer*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE InitDiskSpaceController(LONG on, LONG warning, LONG error, LONG count,
                                                      DiskSpaceItemRecord* records) override {
        ++inits;
        settings = {on, warning, error, count};
        received.assign(records, records + count);
        return initResult;
    }
    HRESULT STDMETHODCALLTYPE GetDiskSpaceController(LONG*, LONG*, LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFreeDiskSpace(LONG* free) override {
        ++freeQueries;
        *free = freeSpace;
        return freeResult;
    }

    ULONG refs = 0;
    int inits = 0;
    int freeQueries = 0;
    std::vector<LONG> settings;
    std::vector<DiskSpaceItemRecord> received;
    HRESULT initResult = S_OK;
    HRESULT freeResult = S_OK;
    LONG freeSpace = 300;
};

class Settings : public ::testing::TestWithParam<LONG> {
protected:
    void SetUp() override {
        QEL_REQUIRE_ENGINE(GetParam());
        m_database = ScratchDatabase::Create(GetParam(), "settings");
        DatabaseObjInternals::Attach(m_db, m_database->Connect(), GetParam());
        ASSERT_TRUE(DatabaseObjInternals::Schema(m_db).CheckAndUpgradeDatabase());

        // The server comes through the class registry, as the open gets it.
        qel::platform::RegisterClassFactory(CLSID_QELServer,
                                            [this](REFIID riid, void** ppv) { return m_server.QueryInterface(riid, ppv); });
        IQELServer* server = nullptr;
        ASSERT_EQ(CreateQELServer(&server), S_OK);
        ASSERT_EQ(server, &m_server);
        Access::SetServer(m_db, server);
        m_db.lKey = 4;
    }
    void TearDown() override {
        qel::platform::RegisterClassFactory(CLSID_QELServer, {});
        if (!m_database) return;
        if (m_db.GetQELServerObject() != nullptr) m_server.Release();
        Access::SetServer(m_db, nullptr);
        EXPECT_EQ(m_server.refs, 0u);
        DatabaseObjInternals::Detach(m_db);
    }

    void Exec(const std::string& sql) { m_db.GetDatabase()->ExecuteSQL(sql.c_str()); }

    CLongBinary Row0(CLongBinary CTableRecordset::*column) {
        CTableRecordset rs(&m_db);
        LONG count = 0;
        EXPECT_TRUE(rs.Open("TBLNUMBER=0", nullptr, &count, 1));
        EXPECT_EQ(count, 1);
        return rs.*column;
    }
    void StoreRecord(const std::vector<std::uint8_t>& bytes) {
        CTableRecordset rs(&m_db);
        LONG count = 0;
        ASSERT_TRUE(rs.Open("TBLNUMBER=0", nullptr, &count, 1));
        rs.Edit();
        rs.m_TBLDATA2.m_data.assign(bytes.begin(), bytes.end());
        rs.SetFieldDirty(&rs.m_TBLDATA2);
        rs.SetFieldNull(&rs.m_TBLDATA2, FALSE);
        ASSERT_TRUE(rs.Update(0));
    }
    std::string DatabaseId() {
        CLongBinary id = Row0(&CTableRecordset::m_TBLDATA1);
        return std::string(id.m_data.begin(), id.m_data.end());
    }
    std::string ProfileKey() const { return "Software\\Talveni\\Quorva\\DatabaseJ4"; }
    std::optional<LONG> RegInt(const char* name) {
        return qel::platform::Registry::CurrentUser().GetInt(ProfileKey(), name);
    }

    std::optional<ScratchDatabase> m_database;
    FakeServer m_server;
    CDatabaseObj m_db;
};

TEST_P(Settings, EmptyRecordReadsAsDefaultsAndInformsTheServer) {
    ASSERT_TRUE(Row0(&CTableRecordset::m_TBLDATA2).m_data.empty());
    m_db.bCompressColorImages = TRUE;
    m_db.strImageMediaNameFormat = "x";
    ASSERT_TRUE(Access::Restore(m_db)) << m_db.lErrorCode;
    // The values changed above are reset; the default values themselves are
    // pinned by the codec tests.
    EXPECT_FALSE(m_db.GetBCompressColorImages());
    EXPECT_EQ(m_db.strImageMediaNameFormat, "%Y%m%d_%i");
    EXPECT_EQ(Access::Disk(m_db), CDiskSpaceControllerData());
    EXPECT_EQ(m_server.settings, (std::vector<LONG>{FALSE, 200, 100, 0}));
}

TEST_P(Settings, RoundTripThroughTheDatabase) {
    m_db.bCompressGrayscaleImages = TRUE;
    m_db.bAllowDuplicatePatientIDs = FALSE;
    m_db.bDefaultImageMediaName = TRUE;
    m_db.strImageMediaNameFormat = "Archivio %i";
    m_db.lImageMediaNumber = 42;
    m_db.dateImageMediaNumber = CExtOleDateTime(2024, 3, 15);
    m_db.dateLastImageMediaCreation = CExtOleDateTime(2024, 3, 16, 13, 45, 10);
    CDiskSpaceControllerData disk;
    disk.m_bEnabled = TRUE;
    disk.m_lWarningThreshold = 900;
    CDiskSpaceItem unused, kept;
    unused.m_lNext = 1;
    kept.m_lKey = 8;
    kept.m_strPath = std::string(270, 'p');
    disk.m_aItems = {unused, kept};
    ASSERT_TRUE(m_db.SetDiskSpaceControllerData(disk));

    // The server got the cleaned entries, the path cut to its field.
    ASSERT_EQ(m_server.received.size(), 1u);
    EXPECT_EQ(m_server.received[0].m_lKey, 8);
    EXPECT_EQ(std::strlen(m_server.received[0].m_szPath), 259u);
    EXPECT_EQ(m_server.settings, (std::vector<LONG>{TRUE, 900, 100, 1}));

    Access::Defaults(m_db);
    ASSERT_TRUE(Access::Restore(m_db)) << m_db.lErrorCode;

    EXPECT_TRUE(m_db.GetBCompressGrayscaleImages());
    EXPECT_FALSE(m_db.GetBCompressColorImages());
    EXPECT_FALSE(m_db.GetBAllowDuplicatePatientIDs());
    EXPECT_TRUE(m_db.bDefaultImageMediaName);
    EXPECT_EQ(m_db.strImageMediaNameFormat, "Archivio %i");
    EXPECT_EQ(m_db.lImageMediaNumber, 42);
    EXPECT_EQ(m_db.dateImageMediaNumber, CExtOleDateTime(2024, 3, 15));
    EXPECT_EQ(m_db.dateLastImageMediaCreation, CExtOleDateTime(2024, 3, 16)) << "midnight of the day";
    CDiskSpaceControllerData read;
    ASSERT_TRUE(m_db.GetDiskSpaceControllerData(&read));
    ASSERT_EQ(read.m_aItems.size(), 1u);
    EXPECT_EQ(read.m_aItems[0].m_strPath, std::string(270, 'p')) << "the record keeps the whole path";
    EXPECT_EQ(read.m_lWarningThreshold, 900);
}

TEST_P(Settings, OldRecordsAndBadRecords) {
    Exec("INSERT INTO MED200 (MEDID, MEDKEY, MEDIMTKEY, MEDDIRECTORY, MEDVOLUMELABEL, MEDSIZE) "
         "VALUES ('M7', 7, 1, '/srv', 'V7', 0)");
    const std::vector<std::uint8_t> version2 = {2, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0};
    StoreRecord(version2);
    ASSERT_TRUE(Access::Restore(m_db));
    EXPECT_TRUE(m_db.GetBCompressGrayscaleImages());
    EXPECT_TRUE(m_db.GetBCompressColorImages());
    EXPECT_EQ(m_db.lCurrentMedia, 7);
    EXPECT_TRUE(m_db.bAllowDuplicatePatientIDs);

    // A medium that is gone is forgotten in memory only.
    const std::vector<std::uint8_t> missingMedium = {2, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0};
    StoreRecord(missingMedium);
    ASSERT_TRUE(Access::Restore(m_db));
    EXPECT_EQ(m_db.lCurrentMedia, 0);
    EXPECT_EQ(Row0(&CTableRecordset::m_TBLDATA2).m_data, missingMedium);

    // A record that cannot be read gives the defaults, not an error; the
    // kinds of bad record are replayed by SettingsCorpusTest.
    StoreRecord({6, 0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0});
    m_db.bCompressColorImages = TRUE;
    ASSERT_TRUE(Access::Restore(m_db));
    EXPECT_EQ(m_db.lErrorCode, 0);
    EXPECT_FALSE(m_db.bCompressColorImages);
    EXPECT_EQ(m_db.lCurrentMedia, 0);
}

TEST_P(Settings, FlagSettersSaveOnlyChanges) {
    ASSERT_TRUE(Access::Restore(m_db));
    m_db.SetBCompressColorImages(2);
    EXPECT_EQ(m_db.lErrorCode, 0);
    qel::settings::DatabaseSettings stored;
    CLongBinary bytes = Row0(&CTableRecordset::m_TBLDATA2);
    ASSERT_TRUE(qel::settings::DecodeSettings(bytes.m_data.data(), bytes.GetSize(), &stored));
    EXPECT_EQ(stored.bCompressColorImages, 2) << "stored as given";

    // Setting the value it has writes nothing: a marker record survives.
    const std::vector<std::uint8_t> marker = {1, 0, 0, 0, 0, 0, 0, 0};
    StoreRecord(marker);
    m_db.SetBCompressColorImages(2);
    m_db.SetBAllowDuplicatePatientIDs(TRUE);
    EXPECT_EQ(Row0(&CTableRecordset::m_TBLDATA2).m_data, marker);

    // A failed save puts the old value back.
    Exec("DELETE FROM TBL200 WHERE TBLNUMBER=0");
    m_db.SetBCompressGrayscaleImages(TRUE);
    EXPECT_EQ(m_db.lErrorCode, 10);
    EXPECT_FALSE(m_db.bCompressGrayscaleImages);
    EXPECT_FALSE(m_db.SetDiskSpaceControllerData(CDiskSpaceControllerData()));
    EXPECT_EQ(m_db.lErrorCode, 0) << "the disk space setter clears the error state";

    DatabaseObjInternals::Detach(m_db);
    m_db.SetBCompressColorImages(FALSE);
    EXPECT_EQ(m_db.lErrorCode, 50);
    EXPECT_FALSE(m_db.GetBAllowDuplicatePatientIDs());
    EXPECT_EQ(m_db.lErrorCode, 50);
    EXPECT_FALSE(m_db.CheckDiskSpace(1));
    EXPECT_EQ(m_db.lErrorCode, 50);
    m_db.lErrorCode = 123;
    CDiskSpaceControllerData out;
    EXPECT_FALSE(m_db.GetDiskSpaceControllerData(&out));
    EXPECT_FALSE(m_db.SetDiskSpaceControllerData(out));
    EXPECT_EQ(m_db.lErrorCode, 123) << "closed: the error state is left alone";
}

TEST_P(Settings, CheckDiskSpaceComparesTheRestWithBothThresholds) {
    ASSERT_TRUE(Access::Restore(m_db));
    EXPECT_TRUE(m_db.CheckDiskSpace(100000));
    EXPECT_EQ(m_server.freeQueries, 0) << "checking off: the server is not asked";

    CDiskSpaceControllerData disk;
    disk.m_bEnabled = TRUE;
    ASSERT_TRUE(m_db.SetDiskSpaceControllerData(disk));
    const std::pair<int, LONG> cases[] = {{100, 0}, {101, 7170}, {200, 7170}, {201, 7180}, {-50, 0}};
    for (auto [required, code] : cases) {
        EXPECT_EQ(m_db.CheckDiskSpace(required), code == 0 ? TRUE : FALSE) << required;
        EXPECT_EQ(m_db.lErrorCode, code) << required;
    }
    m_server.freeSpace = 50;
    EXPECT_TRUE(m_db.CheckDiskSpace(-250)) << "a negative request adds to the free space";
    m_server.freeResult = E_FAIL;
    EXPECT_FALSE(m_db.CheckDiskSpace(0));
    EXPECT_EQ(m_db.lErrorCode, 7160);

    m_server.initResult = E_FAIL;
    EXPECT_FALSE(m_db.SetDiskSpaceControllerData(disk));
    EXPECT_EQ(m_db.lErrorCode, 0);
    EXPECT_FALSE(Access::Restore(m_db));
    EXPECT_EQ(m_db.lErrorCode, 10);

    Access::SetServer(m_db, nullptr);
    EXPECT_FALSE(m_db.CheckDiskSpace(0));
    EXPECT_EQ(m_db.lErrorCode, 7160);
    Access::SetServer(m_db, &m_server);
}

TEST_P(Settings, IdentityCheckTiesTheProfileToTheDatabase) {
    Exec("INSERT INTO DOC200 (DOCID, DOCKEY, DOCNAME) VALUES ('D3', 3, 'DR ROSSI')");
    const std::string id = DatabaseId();
    ASSERT_EQ(id.size(), 32u);

    // Another database behind the profile: its identity is taken over.
    Access::SetID(m_db, "0123456789ABCDEF0123456789ABCDEF");
    m_db.lCurrentDoctor = 3;
    ASSERT_TRUE(Access::Restore(m_db));
    EXPECT_EQ(m_db.GetID(), id);
    EXPECT_EQ(m_db.lCurrentDoctor, 0);
    EXPECT_EQ(qel::platform::Registry::CurrentUser().GetString(ProfileKey(), "DatabaseID"), id);
    EXPECT_EQ(RegInt("CurrentDoctor"), 0);

    // The same database and a doctor it has: nothing changes.
    qel::platform::Registry::CurrentUser().SetInt(ProfileKey(), "CurrentDoctor", 3);
    m_db.lCurrentDoctor = 3;
    EXPECT_TRUE(Access::CheckIdentity(m_db, id));
    EXPECT_EQ(m_db.lCurrentDoctor, 3);
    EXPECT_EQ(RegInt("CurrentDoctor"), 3);

    // A doctor the database does not have is reset, in memory and profile.
    m_db.lCurrentDoctor = 5;
    EXPECT_TRUE(Access::CheckIdentity(m_db, id));
    EXPECT_EQ(m_db.lCurrentDoctor, 0);
    EXPECT_EQ(RegInt("CurrentDoctor"), 0);

}

INSTANTIATE_TEST_SUITE_P(Engines, Settings, ::testing::Values(2, 1), qel::test::EngineParamName);

}  // namespace
