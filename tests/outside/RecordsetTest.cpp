// The record library on real databases of both engines.
#include <gtest/gtest.h>

#include <set>

#include <qel/outside/odbc/Statement.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/Recordset.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/EngineDatabase.h"

namespace {

class Recordset : public qel::test::AttachedDatabase {
protected:
    BOOL AddPatient(LONG key, const std::string& name, const std::string& number) {
        CPatientRecordset rs(&m_db);
        return rs.Open("PATKEY=-1", nullptr, nullptr, 0) && AddRow(rs, key, name, number);
    }

    // Adds a patient through an open record set (with batching on, the row
    // may wait for the batch).
    static BOOL AddRow(CPatientRecordset& rs, LONG key, const std::string& name, const std::string& number = "") {
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

// SQLite keeps a text longer than its column, as another program may have
// written it; the block read cannot hold it, and the row is read again on its
// own, whole, in a streaming and in an at-once read.
TEST_P(Recordset, AForeignOverlongTextIsReadWhole) {
    if (GetParam() != 2) GTEST_SKIP() << "PostgreSQL refuses such a text";
    CDatabase& connection = *m_db.GetDatabase();
    connection.BeginTrans();
    for (LONG key = 1; key <= 900; ++key) ASSERT_TRUE(AddPatient(key, "P" + std::to_string(key), std::to_string(key)));
    connection.CommitTrans();
    std::string overlong;
    while (overlong.size() < 700) overlong += "Ærøskøbing 歯科 ";
    connection.ExecuteSQL(("UPDATE PAT200 SET PATNAME = '" + overlong + "' WHERE PATKEY = 700").c_str());

    for (const bool atOnce : {false, true}) {
        CPatientRecordset rs(&m_db);
        LONG count = 0;
        ASSERT_TRUE(rs.Open(nullptr, "PATKEY", atOnce ? &count : nullptr, 0));
        LONG rows = 0;
        for (; !rs.IsEOF(); rs.MoveNext()) {
            ++rows;
            if (rs.m_PATKEY == 700) EXPECT_EQ(rs.m_PATNAME, overlong.substr(0, overlong.find_last_not_of(' ') + 1));
            else EXPECT_EQ(rs.m_PATNAME, "P" + std::to_string(rs.m_PATKEY));
        }
        EXPECT_EQ(rows, 900) << (atOnce ? "at once" : "streaming");
        EXPECT_FALSE(rs.GetLastError().has_value());
    }
}

// A record set keeps its INSERT prepared between rows; a connection closed
// and opened again in between gets a statement of its own.
TEST_P(Recordset, KeptInsertsFollowTheConnection) {
    CPatientRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open("PATKEY=-1", nullptr, nullptr, 0));
    const auto add = [&](LONG key) { return AddRow(rs, key, "N" + std::to_string(key)); };
    ASSERT_TRUE(add(1));
    ASSERT_TRUE(add(2));
    DatabaseObjInternals::Detach(m_db);
    EXPECT_FALSE(add(3));
    EXPECT_TRUE(rs.GetLastError().has_value());
    DatabaseObjInternals::Attach(m_db, m_database->Connect(), GetParam());
    ASSERT_TRUE(add(4));
    CPatientRecordset check(&m_db);
    LONG count = 0;
    ASSERT_TRUE(check.Open(nullptr, "PATKEY", &count, 0));
    std::set<LONG> keys;
    for (; !check.IsEOF(); check.MoveNext()) keys.insert(check.m_PATKEY);
    EXPECT_EQ(keys, (std::set<LONG>{1, 2, 4}));
}

// Batched inserts write every row, and a batch that fails names the row that
// failed, leaving the transaction usable with the earlier batches in it.
TEST_P(Recordset, BatchedInsertsWriteEveryRowAndNameTheOneThatFails) {
    ASSERT_TRUE(AddPatient(5, "Taken", "5"));
    CDatabase& connection = *m_db.GetDatabase();
    ASSERT_TRUE(connection.BeginTrans());
    CPatientRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open("PATKEY=-1", nullptr, nullptr, 0));
    rs.BatchInserts(3);
    const auto add = [&](LONG key) { return AddRow(rs, key, "B" + std::to_string(key)); };
    for (LONG key : {10, 11, 12, 13}) ASSERT_TRUE(add(key));
    EXPECT_TRUE(add(5));    // waits in the second batch
    EXPECT_FALSE(add(14));  // fills it: the batch fails on its second row
    EXPECT_EQ(rs.GetFailedBatchRow(), std::optional<size_t>(1));
    EXPECT_TRUE(rs.GetLastError().has_value());
    for (LONG key : {20, 21}) ASSERT_TRUE(add(key));  // a batch left open ...
    EXPECT_TRUE(rs.FlushInserts());                   // ... written on demand
    EXPECT_EQ(rs.GetFailedBatchRow(), std::nullopt);
    ASSERT_TRUE(connection.CommitTrans());

    CPatientRecordset check(&m_db);
    LONG count = 0;
    ASSERT_TRUE(check.Open(nullptr, "PATKEY", &count, 0));
    std::set<LONG> keys;
    for (; !check.IsEOF(); check.MoveNext()) keys.insert(check.m_PATKEY);
    // The row before the failing one was written row by row; the one after was not.
    EXPECT_EQ(keys, (std::set<LONG>{5, 10, 11, 12, 13, 20, 21}));

    // A batch of more parameters than psqlODBC carries in one statement
    // (binary columns travel as parameters, 5 a layout) is written whole.
    CLayoutRecordset large(&m_db);
    ASSERT_TRUE(large.Open("LAYKEY=-1", nullptr, nullptr, 0));
    large.BatchInserts(2000);
    for (LONG key = 1000; key < 2700; ++key) {
        large.AddNew();
        CQELRecordset::GetID(&large.m_LAYID);
        large.m_LAYKEY = key;
        large.m_LAYDATA.m_data = {1, 2, 3};
        ASSERT_TRUE(large.Update());
    }
    ASSERT_TRUE(large.FlushInserts()) << (large.GetLastError() ? large.GetLastError()->m_strError : "");
    CLayoutRecordset layouts(&m_db);
    ASSERT_TRUE(layouts.Open("LAYKEY>=1000", nullptr, &count, 0));
    EXPECT_EQ(count, 1700);
}

// A row written in a batch is stored exactly as the same row written alone:
// same text, same timestamp form, same NULLs, on both engines.
TEST_P(Recordset, BatchedRowsAreStoredAsSingleRowsAre) {
    CPatientRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open("PATKEY=-1", nullptr, nullptr, 0));
    const auto add = [&](LONG key, int variant) {
        rs.AddNew();
        rs.m_PATID = "ID" + std::to_string(key);
        rs.m_PATKEY = key;
        rs.SetFieldDirty(&rs.m_PATDOCKEY);
        rs.m_PATNAME = variant == 0 ? "O'Neil \"Jr\" \\ back\tslash" : "Zoë 日本 " + std::to_string(variant);
        if (variant == 1) rs.m_PATKANJINAME = "山田 太郎";
        rs.m_PATNUMBER = "N-" + std::to_string(key);  // a name and number pair is unique
        rs.m_PATCREATED = TIMESTAMP_STRUCT{2024, 2, 29, 23, 59, 58, 123456789};
        rs.m_PATIMGCNT = static_cast<SHORT>(-variant);
        rs.SetFieldDirty(&rs.m_PATIMGCNT);
        if (variant == 2) rs.m_PATBIRTHDATE = TIMESTAMP_STRUCT{1950, 1, 2, 0, 0, 0, 0};
        rs.m_PATSEX = static_cast<SHORT>(variant % 3);
        return rs.Update();
    };
    for (int variant = 0; variant < 3; ++variant) ASSERT_TRUE(add(1 + variant, variant));
    rs.BatchInserts(10);
    for (int variant = 0; variant < 3; ++variant) ASSERT_TRUE(add(101 + variant, variant));
    ASSERT_TRUE(rs.FlushInserts()) << (rs.GetLastError() ? rs.GetLastError()->m_strError : "");

    const bool sqlite = GetParam() == 2;
    std::string columns;
    for (const char* column : {"PATDOCKEY", "PATNAME", "PATKANJINAME", "PATCREATED", "PATIMGCNT",
                               "PATNEWESTIMG", "PATBIRTHDATE", "PATSEX"})
        columns += (columns.empty() ? "" : " || '|' || ") +
                   (sqlite ? "quote(" + std::string(column) + ")" : "quote_nullable(" + std::string(column) + "::text)");
    const auto stored = [&](LONG key) {
        qel::odbc::Statement st(*m_db.GetDatabase());
        st.Prepare("SELECT " + columns + " FROM PAT200 WHERE PATKEY = ?");
        st.SetInt32(1, key);
        st.Execute();
        return st.Fetch() ? st.GetText(1).value_or("NULL") : std::string("no row");
    };
    for (LONG variant = 0; variant < 3; ++variant) EXPECT_EQ(stored(101 + variant), stored(1 + variant)) << variant;
}

TEST_P(Recordset, CachedPatientFromARow) {
    ASSERT_TRUE(AddPatient(4, "BIANCHI", "44"));
    CPatientRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open(nullptr, nullptr, nullptr, 0));
    CPatientData patient(rs);
    EXPECT_EQ(patient.m_lKey, 4);
    EXPECT_EQ(patient.m_lOwnerKey, 0);
    EXPECT_EQ(patient.GetName(), "BIANCHI");
    EXPECT_EQ(patient.GetDateCreated().GetStatus(), CExtOleDateTime::valid);
    EXPECT_EQ(patient.GetDateCreated().GetYear(), 2024);
    EXPECT_EQ(patient.GetDateBirth().GetStatus(), CExtOleDateTime::null);
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
