// The record library on real databases of both engines.
#include <gtest/gtest.h>

#include <set>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/Recordset.h>

#include "support/TestDatabase.h"

namespace {

using qel::test::TestDatabase;

class Recordset : public ::testing::TestWithParam<LONG> {
protected:
    void SetUp() override {
        m_database = TestDatabase::Create(GetParam(), "rs");
        if (!m_database) GTEST_SKIP() << "no PostgreSQL server for this run";
        DatabaseObjTestAccess::Attach(m_db, m_database->Connect(), GetParam());
        ASSERT_TRUE(DatabaseObjTestAccess::Schema(m_db).CheckAndUpgradeDatabase());
    }
    void TearDown() override { DatabaseObjTestAccess::Detach(m_db); }

    BOOL AddPatient(LONG key, const std::string& name, const std::string& number) {
        CPatientRecordset rs(&m_db);
        if (!rs.Open("PATKEY=-1", nullptr, nullptr, 0)) return FALSE;
        rs.AddNew();
        CQELRecordset::GetID(&rs.m_PATID);
        rs.m_PATKEY = key;
        rs.m_PATDOCKEY = 0;
        rs.SetFieldDirty(&rs.m_PATDOCKEY);
        rs.m_PATNAME = name;
        rs.m_PATNUMBER = number;
        rs.SetFieldDirty(&rs.m_PATNUMBER);
        rs.m_PATCREATED = TIMESTAMP_STRUCT{2024, 5, 17, 10, 30, 15, 0};
        return rs.Update();
    }

    std::optional<TestDatabase> m_database;
    CDatabaseObj m_db;
};

TEST_P(Recordset, TextTravelsAsWrittenAndComesBackUnpadded) {
    const std::string hostile = "Robert'); DROP TABLE PAT200; --";
    ASSERT_TRUE(AddPatient(1, "O'Brien", "  7"));
    ASSERT_TRUE(AddPatient(2, hostile, "8"));
    ASSERT_TRUE(AddPatient(3, "\u5C71\u7530@\u592A\u90CE \u00E8\u00E9", "9"));

    CPatientRecordset rs(&m_db);
    LONG count = 0;
    ASSERT_TRUE(rs.Open(nullptr, "PATKEY", &count, 0));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(rs.m_PATNAME, "O'Brien");
    EXPECT_EQ(rs.m_PATNUMBER, "  7") << "leading blanks stay; only padding goes";
    EXPECT_EQ(rs.m_PATCREATED.year, 2024);
    EXPECT_EQ(rs.m_PATCREATED.second, 15);
    EXPECT_TRUE(rs.IsFieldNull(&rs.m_PATBIRTHDATE));
    EXPECT_FALSE(rs.IsFieldNull(&rs.m_PATCREATED));
    rs.MoveNext();
    EXPECT_EQ(rs.m_PATNAME, hostile);
    rs.MoveNext();
    EXPECT_EQ(rs.m_PATNAME, "\u5C71\u7530@\u592A\u90CE \u00E8\u00E9");
    EXPECT_EQ(rs.m_PATKANJINAME, "");
    EXPECT_TRUE(rs.IsFieldNull(&rs.m_PATKANJINAME));
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF());
}

TEST_P(Recordset, OverlongTextIsRefusedBeforeWriting) {
    EXPECT_TRUE(AddPatient(1, std::string(64, 'x'), "1"));
    // 64 characters of two bytes each still fit a 64-character column.
    std::string accented;
    for (int i = 0; i < 64; ++i) accented += "\u00E8";
    EXPECT_TRUE(AddPatient(2, accented, "2"));
    CPatientRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open("PATKEY=-1", nullptr, nullptr, 0));
    rs.AddNew();
    rs.m_PATID = "ID";
    rs.m_PATKEY = 3;
    rs.m_PATNAME = std::string(65, 'x');
    rs.m_PATNUMBER = "3";
    EXPECT_FALSE(rs.Update());
    ASSERT_TRUE(rs.GetLastError().has_value());
    EXPECT_EQ(rs.GetLastError()->m_strSQLState, "22001");
    EXPECT_NE(rs.GetLastError()->m_strError.find("PATNAME"), std::string::npos);

    LONG count = 0;
    CPatientRecordset all(&m_db);
    ASSERT_TRUE(all.Open(nullptr, nullptr, &count, 0));
    EXPECT_EQ(count, 2);
}

TEST_P(Recordset, EditIsOptimistic) {
    ASSERT_TRUE(AddPatient(1, "ROSSI", "1"));
    CPatientRecordset first(&m_db), second(&m_db);
    LONG count = 0;
    ASSERT_TRUE(first.Open("PATKEY=1", nullptr, &count, 1));
    ASSERT_TRUE(second.Open("PATKEY=1", nullptr, &count, 1));

    first.Edit();
    first.m_PATNAME = "ROSSI MARIO";
    ASSERT_TRUE(first.Update());
    second.Edit();
    second.m_PATNAME = "ROSSI LUIGI";
    EXPECT_FALSE(second.Update()) << "the row changed since it was read";

    CPatientRecordset check(&m_db);
    ASSERT_TRUE(check.Open("PATKEY=1", nullptr, &count, 1));
    EXPECT_EQ(check.m_PATNAME, "ROSSI MARIO");
    check.Edit();
    check.m_PATCREATED.year = 2025;
    EXPECT_TRUE(check.Update()) << "a row read back with its timestamps can be edited";
    check.Edit();
    check.SetFieldNull(&check.m_PATKANJINAME, FALSE);
    check.m_PATKANJINAME = "";
    EXPECT_TRUE(check.Update());
}

TEST_P(Recordset, StreamingReadsEveryRowAndFailuresAreReported) {
    for (LONG key = 1; key <= 50; ++key) ASSERT_TRUE(AddPatient(key, "P" + std::to_string(key), std::to_string(key)));
    CPatientRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open(nullptr, nullptr, nullptr, 0));
    EXPECT_FALSE(rs.IsBOF());
    LONG sum = 0;
    for (; !rs.IsEOF(); rs.MoveNext()) sum += rs.m_PATKEY;
    EXPECT_EQ(sum, 50 * 51 / 2);
    EXPECT_FALSE(rs.GetLastError().has_value());

    CPatientRecordset bad(&m_db);
    EXPECT_FALSE(bad.Open("NOSUCHCOLUMN=1", nullptr, nullptr, 0));
    EXPECT_TRUE(bad.GetLastError().has_value());
    EXPECT_TRUE(bad.IsEOF());

    CPatientRecordset none(&m_db);
    ASSERT_TRUE(none.Open("PATKEY=-1", nullptr, nullptr, 0));
    EXPECT_TRUE(none.IsBOF());
    EXPECT_TRUE(none.IsEOF());
}

TEST_P(Recordset, CachedPatientFromARow) {
    ASSERT_TRUE(AddPatient(4, "BIANCHI", "44"));
    CPatientRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open(nullptr, nullptr, nullptr, 0));
    CPatientData patient(rs);
    EXPECT_EQ(patient.m_lKey, 4);
    EXPECT_EQ(patient.m_lOwnerKey, 0);
    EXPECT_EQ(patient.m_strName, "BIANCHI");
    EXPECT_EQ(patient.m_dateCreated.GetStatus(), CExtOleDateTime::valid);
    EXPECT_EQ(patient.m_dateCreated.GetYear(), 2024);
    EXPECT_EQ(patient.m_dateBirth.GetStatus(), CExtOleDateTime::null);
}

TEST(RecordsetIdentity, IdsAreThirtyTwoUpperHexAndDistinct) {
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        std::string id;
        CQELRecordset::GetID(&id);
        ASSERT_EQ(id.size(), 32u);
        ASSERT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 1000u);
}

TEST(RecordsetClosed, NothingWorksWithoutAConnection) {
    CDatabaseObj db;
    CTableRecordset rs(&db);
    LONG count = 7;
    EXPECT_FALSE(rs.Open(nullptr, nullptr, &count, 1));
    ASSERT_TRUE(rs.GetLastError().has_value());
    EXPECT_EQ(rs.GetLastError()->m_strSQLState, "08003");
    rs.AddNew();
    EXPECT_FALSE(rs.Update());
}

INSTANTIATE_TEST_SUITE_P(Engines, Recordset, ::testing::Values(2, 1),
                         qel::test::EngineParamName);

}  // namespace
