// Creation and upgrade of real databases on both engines.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include <fmt/format.h>

#include <qel/outside/odbc/Statement.h>
#include <qel/outside/records/Recordset.h>

#include <qel/outside/records/LayoutData.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/Sandbox.h"
#include "support/EngineDatabase.h"

namespace {

class Initialisation : public qel::test::AttachedDatabase {
protected:
    Initialisation() : AttachedDatabase(false) {}
    void SetUp() override {
        ::setenv("QEL_WAIT_SCALE", "0", 1);
        AttachedDatabase::SetUp();
    }

    CDatabaseSchema& Schema() { return DatabaseObjInternals::Schema(m_db); }

    // The integers of one column, in key order.
    std::vector<LONG> Column(const std::string& sql) {
        qel::odbc::Statement st(*m_db.GetDatabase());
        st.Prepare(sql);
        st.Execute();
        std::vector<LONG> values;
        while (st.Fetch()) values.push_back(st.GetInt32(1).value_or(-999));
        return values;
    }
    std::string Text(const std::string& sql) {
        qel::odbc::Statement st(*m_db.GetDatabase());
        st.Prepare(sql);
        st.Execute();
        if (!st.Fetch()) return "<none>";
        std::string text = st.GetText(1).value_or("<null>");
        text.erase(text.find_last_not_of(' ') + 1);  // char(n) comes back padded from some engines
        return text;
    }
    std::string Identity() {
        CTableRecordset rs(&m_db);
        LONG count = 0;
        EXPECT_TRUE(rs.Open("TBLNUMBER=0", nullptr, &count, 0));
        return std::string(rs.m_TBLDATA1.m_data.begin(), rs.m_TBLDATA1.m_data.end());
    }
};

TEST_P(Initialisation, EmptyDatabaseGetsTablesFirstRowsAndIdentity) {
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());

    EXPECT_EQ(Column("SELECT TBLNUMBER FROM TBL200 ORDER BY TBLNUMBER"), (std::vector<LONG>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(Column("SELECT TBLVERSION FROM TBL200 ORDER BY TBLNUMBER"), (std::vector<LONG>{0, 11, 11, 11, 11, 25, 11, 11, 11}));
    EXPECT_EQ(Column("SELECT TBLUSER FROM TBL200 WHERE TBLNUMBER <> 2"), std::vector<LONG>(8, -1));
    EXPECT_EQ(Column("SELECT TBLNEXTKEY FROM TBL200 WHERE TBLNUMBER = 2"), std::vector<LONG>{3});
    EXPECT_EQ(Column("SELECT DOCKEY FROM DOC200"), std::vector<LONG>{0});
    EXPECT_EQ(Text("SELECT DOCNAME FROM DOC200"), "") << "an empty text, not a null";
    EXPECT_EQ(Text("SELECT DOCKANJINAME FROM DOC200"), "<null>");
    EXPECT_EQ(Column("SELECT IMTKEY FROM IMT200 ORDER BY IMTKEY"), (std::vector<LONG>{1, 2}));
    EXPECT_EQ(Column("SELECT IMTWARNING FROM IMT200 ORDER BY IMTKEY"), (std::vector<LONG>{0, 600}));
    EXPECT_EQ(Column("SELECT IMTERROR FROM IMT200 ORDER BY IMTKEY"), (std::vector<LONG>{0, 640}));
    EXPECT_EQ(Text("SELECT IMTNAME FROM IMT200 WHERE IMTKEY = 2"), "CD-ROM");
    EXPECT_EQ(Column("SELECT MEDKEY FROM MED200"), std::vector<LONG>{0});
    EXPECT_EQ(Column("SELECT MEDIMTKEY FROM MED200"), std::vector<LONG>{2});
    EXPECT_EQ(Column("SELECT COUNT(*) FROM PAT200"), std::vector<LONG>{0});

    const std::string id = Identity();
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(Text("SELECT COUNT(*) FROM TBL200 WHERE TBLDATA1 IS NOT NULL"), "1");

    // USR200, LCK200 and MSG200 come only on request.
    EXPECT_FALSE(Schema().CreateTable(21, 11, "TBL200", 6, FindTable("TBL200")->columns.data()));
    ASSERT_TRUE(Schema().CreateMultiUserTables());
    EXPECT_EQ(Column("SELECT TBLNUMBER FROM TBL200 WHERE TBLNUMBER > 8 ORDER BY TBLNUMBER"),
              (std::vector<LONG>{21, 22, 23}));
}

TEST_P(Initialisation, OpeningAgainCreatesNothing) {
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    const std::string id = Identity();
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    EXPECT_EQ(Column("SELECT COUNT(*) FROM IMT200"), std::vector<LONG>{2});
    EXPECT_EQ(Column("SELECT COUNT(*) FROM TBL200"), std::vector<LONG>{9});
    EXPECT_EQ(Identity(), id);

    // A database without a zero-threshold media type gains one at the next open.
    Exec("DELETE FROM IMT200 WHERE IMTKEY = 1");
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    EXPECT_EQ(Column("SELECT IMTKEY FROM IMT200 WHERE IMTWARNING = 0 AND IMTERROR = 0"), std::vector<LONG>{3});
}

TEST_P(Initialisation, UntouchedTemplateGetsAFreshIdentityOnce) {
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    Exec(fmt::format("UPDATE TBL200 SET TBLDATA1 = NULL WHERE TBLNUMBER = 0"));
    Exec("INSERT INTO PAT200 (PATID, PATKEY, PATDOCKEY, PATNAME, PATNUMBER) VALUES ('X', 1, 0, 'TEMPLATE', '1')");
    Exec("UPDATE MED200 SET MEDDIRECTORY = '   ' WHERE MEDKEY = 0");
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    const std::string renewed = Identity();
    EXPECT_EQ(renewed.size(), 32u) << "a blank medium directory keeps the template untouched";

    // Once a second patient key was handed out the identity stays.
    LONG key = 0;
    ASSERT_TRUE(m_db.GetNewKey(4, &key));
    ASSERT_TRUE(m_db.GetNewKey(4, &key));
    EXPECT_EQ(key, 2);
    Exec("UPDATE TBL200 SET TBLDATA1 = NULL WHERE TBLNUMBER = 0");
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    EXPECT_EQ(Identity(), "");
}

TEST_P(Initialisation, TemplateWithAUsedMediumKeepsItsIdentity) {
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    const std::string templateId = CDatabaseSchema::kTemplateDatabaseIDs[1];
    CTableRecordset rs(&m_db);
    LONG count = 0;
    ASSERT_TRUE(rs.Open("TBLNUMBER=0", nullptr, &count, 1));
    rs.Edit();
    rs.m_TBLDATA1.m_data.assign(templateId.begin(), templateId.end());
    ASSERT_TRUE(rs.Update());
    rs.Close();
    Exec("INSERT INTO PAT200 (PATID, PATKEY, PATDOCKEY, PATNAME, PATNUMBER) VALUES ('X', 1, 0, 'TEMPLATE', '1')");
    Exec("UPDATE MED200 SET MEDDIRECTORY = 'D:\\images' WHERE MEDKEY = 0");
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    EXPECT_EQ(Identity(), templateId);

    Exec("UPDATE MED200 SET MEDDIRECTORY = '', MEDSIZE = 0 WHERE MEDKEY = 0");
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    EXPECT_NE(Identity(), templateId);
}

TEST_P(Initialisation, KeysRunPerTableAndMarkTheRow) {
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    LONG key = 0;
    ASSERT_TRUE(m_db.GetNewKey(4, &key));
    EXPECT_EQ(key, 1);
    ASSERT_TRUE(m_db.GetNewKey(4, &key));
    EXPECT_EQ(key, 2);
    ASSERT_TRUE(m_db.GetNewKey(1, &key));
    EXPECT_EQ(key, 1);
    EXPECT_EQ(Column("SELECT TBLNEXTKEY FROM TBL200 WHERE TBLNUMBER = 4"), std::vector<LONG>{3});
    EXPECT_EQ(Column("SELECT TBLUSER FROM TBL200 WHERE TBLNUMBER = 4"), std::vector<LONG>{-1});

    Exec("UPDATE TBL200 SET TBLUSER = 5 WHERE TBLNUMBER = 4");
    ASSERT_TRUE(m_db.GetNewKey(4, &key));
    EXPECT_EQ(Column("SELECT TBLUSER FROM TBL200 WHERE TBLNUMBER = 4"), std::vector<LONG>{-1});

    m_db.lErrorCode = 0;
    EXPECT_FALSE(m_db.GetNewKey(99, &key)) << "no counter row: 120 failed attempts";
    EXPECT_EQ(m_db.GetLErrorCode(), 0);
}

TEST_P(Initialisation, IndexesAndTypeLookups) {
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    EXPECT_TRUE(Schema().DropIndex("PAT200", "IPATNAME"));
    EXPECT_TRUE(Schema().DropIndex("PAT200", "IPATNAME")) << "a missing index answers S0012";
    EXPECT_TRUE(Schema().CreateIndex("PAT200", "IPATNAME", "PATNAME"));
    EXPECT_FALSE(Schema().CreateIndex("PAT200", "IPATNAME", "PATNAME"));

    std::string names[2];
    const SHORT found[] = {SQL_INTEGER, SQL_BINARY};
    EXPECT_TRUE(Schema().LookUpTypeNames(found, names));
    EXPECT_FALSE(names[1].empty()) << "a driver without fixed binary answers with its variable one";
    const SHORT missing[] = {SQL_INTEGER, 12345};
    EXPECT_FALSE(Schema().LookUpTypeNames(missing, names));

    const ColumnDescriptor extra{eKindNone, eTypeChar, "DOCNOTE", 20, 0, "", ""};
    EXPECT_TRUE(Schema().AddColumn("DOC200", 0, &extra));
    EXPECT_EQ(Text("SELECT COUNT(DOCNOTE) FROM DOC200"), "0");
}

TEST_P(Initialisation, ShippedLayoutsAreImportedIntoANewDatabase) {
    // The layouts ship beside the programs; a new database takes every one.
    ::setenv("QEL_MODULE_DIR", qel::test::BinaryPath("bin").c_str(), 1);
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    ::unsetenv("QEL_MODULE_DIR");
    EXPECT_EQ(Column("SELECT LAYPAGEID FROM LAY200 ORDER BY LAYPAGEID"), (std::vector<LONG>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Column("SELECT LAYKEY FROM LAY200 ORDER BY LAYKEY"), (std::vector<LONG>{1, 2, 3, 4, 5}));

    CLayoutRecordset rs(&m_db);
    ASSERT_TRUE(rs.Open("LAYPAGEID=1", nullptr, nullptr, 0));
    CLayoutData page1(rs);
    EXPECT_NE(page1.m_lKey, -1);
    EXPECT_EQ(page1.m_mapButtons.size(), 51u);
    EXPECT_NE(page1.LookupButton(300), nullptr);
}

TEST_P(Initialisation, NoLayoutFilesMeansNoLayouts) {
    ::setenv("QEL_MODULE_DIR", qel::test::Sandbox::Current().Path("data").c_str(), 1);
    ASSERT_TRUE(Schema().CheckAndUpgradeDatabase());
    ::unsetenv("QEL_MODULE_DIR");
    EXPECT_EQ(Column("SELECT COUNT(*) FROM LAY200"), std::vector<LONG>{0});
}

INSTANTIATE_TEST_SUITE_P(Engines, Initialisation, ::testing::Values(2, 1),
                         qel::test::EngineParamName);

}  // namespace
