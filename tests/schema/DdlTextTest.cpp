#include <gtest/gtest.h>

#include <set>

#include <qel/schema/DdlText.h>

namespace {

TypeNames Symbolic() { return {"T0", "T1", "T2", "T3", "T4", "T5", "T6"}; }

const TableDescriptor& Table(const char* name) {
    const TableDescriptor* table = FindTable(name);
    EXPECT_NE(table, nullptr) << name;
    return *table;
}

TEST(DdlText, WorkedExampleOnBothEngines) {
    const auto& doc = Table("DOC200");
    EXPECT_EQ(CreateTableText(1, "DOC200", doc.columns, Symbolic()),
              "CREATE TABLE DOC200 (DOCID T2(32) NOT NULL, DOCKEY T1 NOT NULL PRIMARY KEY, DOCNAME T2(64) NOT NULL, "
              "DOCKANJINAME T2(64), UNIQUE (DOCID), UNIQUE (DOCNAME))");
    EXPECT_EQ(CreateTableText(2, "DOC200", doc.columns, Symbolic()),
              "CREATE TABLE DOC200 (DOCID T2(32) NOT NULL, DOCKEY T1 NOT NULL CONSTRAINT PDOC2001 PRIMARY KEY, "
              "DOCNAME T2(64) NOT NULL, DOCKANJINAME T2(64), CONSTRAINT UDOC2001 UNIQUE (DOCID), "
              "CONSTRAINT UDOC2002 UNIQUE (DOCNAME))");
    EXPECT_EQ(CreateIndexText("DOC200", "IDOCNAME", "DOCNAME"), "CREATE INDEX IDOCNAME ON DOC200 (DOCNAME)");
}

TEST(DdlText, TablesWithoutUniqueGroupsEndAfterTheLastColumn) {
    EXPECT_EQ(CreateTableText(1, "TBL200", Table("TBL200").columns, Symbolic()),
              "CREATE TABLE TBL200 (TBLNUMBER T0 NOT NULL PRIMARY KEY, TBLNEXTKEY T1, TBLVERSION T0, TBLUSER T1, "
              "TBLDATA1 T5, TBLDATA2 T5)");
    EXPECT_EQ(CreateTableText(2, "BMP200", Table("BMP200").columns, Symbolic()),
              "CREATE TABLE BMP200 (BMPIMGKEY T1 NOT NULL CONSTRAINT FBMP2000 REFERENCES IMG200 (IMGKEY), "
              "BMPSIZE T1, BMPCOMPRESSED T0, BMPTHUMBNAIL T5 NOT NULL, BMPSMALLIMAGE T5, BMPNORMALIMAGE T5 NOT NULL)");
}

TEST(DdlText, GroupMembersShareOneClauseAfterAllColumns) {
    const std::string med = CreateTableText(2, "MED200", Table("MED200").columns, Symbolic());
    EXPECT_NE(med.find("MEDIMTKEY T1 NOT NULL CONSTRAINT FMED2002 REFERENCES IMT200 (IMTKEY)"), std::string::npos);
    EXPECT_TRUE(med.ends_with("MEDSIZE T1, CONSTRAINT UMED2001 UNIQUE (MEDID), "
                              "CONSTRAINT UMED2002 UNIQUE (MEDDIRECTORY, MEDVOLUMELABEL))"));
    // Foreign keys in a unique group are NOT NULL through their REFERENCES clause only.
    EXPECT_EQ(CreateTableText(-1, "LCK200", Table("LCK200").columns, Symbolic()),
              "CREATE TABLE LCK200 (LCKUSRKEY T1 NOT NULL REFERENCES USR200 (USRKEY), LCKTYPE T0 NOT NULL, "
              "LCKDATA T1 NOT NULL, UNIQUE (LCKUSRKEY, LCKTYPE, LCKDATA))");
}

TEST(DdlText, PatientTableIndexedColumnsAreInTheirGroup) {
    EXPECT_EQ(CreateTableText(2, "PAT200", Table("PAT200").columns, Symbolic()),
              "CREATE TABLE PAT200 (PATID T2(32) NOT NULL, PATKEY T1 NOT NULL CONSTRAINT PPAT2001 PRIMARY KEY, "
              "PATDOCKEY T1 NOT NULL CONSTRAINT FPAT2002 REFERENCES DOC200 (DOCKEY), PATNAME T2(64) NOT NULL, "
              "PATKANJINAME T2(64), PATNUMBER T2(64) NOT NULL, PATCREATED T6, PATIMGCNT T0, PATNEWESTIMG T6, "
              "PATBIRTHDATE T6, PATSEX T0, CONSTRAINT UPAT2001 UNIQUE (PATID), "
              "CONSTRAINT UPAT2002 UNIQUE (PATNAME, PATNUMBER))");
}

TEST(DdlText, SingleStatements) {
    EXPECT_EQ(DropIndexText("PAT200", "IPATNAME"), "DROP INDEX PAT200.IPATNAME");
    const auto& doc = Table("DOC200");
    EXPECT_EQ(AddColumnText("DOC200", doc.columns[3], Symbolic()), "ALTER TABLE DOC200 ADD DOCKANJINAME T2(64)");
    EXPECT_EQ(AddColumnText("DOC200", doc.columns[1], Symbolic()), "ALTER TABLE DOC200 ADD DOCKEY T1");
}

TEST(TableCatalogue, NumbersVersionsAndNotNullRule) {
    const auto tables = TableCatalogue();
    ASSERT_EQ(tables.size(), 12u);
    std::set<LONG> numbers;
    for (const auto& t : tables) {
        numbers.insert(t.number);
        EXPECT_EQ(t.version, t.number == 0 ? 0 : t.number == 5 ? 25 : 11) << t.name;
        int primaryKeys = 0;
        for (const auto& c : t.columns) {
            EXPECT_TRUE(std::string(c.name).starts_with(std::string(t.name, 3))) << c.name;
            if (c.kind == eKindPrimaryKey) ++primaryKeys;
            if (c.kind == eKindForeignKey) {
                EXPECT_NE(FindTable(c.extra), nullptr) << c.name;
            }
        }
        EXPECT_LE(primaryKeys, 1) << t.name;
    }
    EXPECT_EQ(numbers, (std::set<LONG>{0, 1, 2, 3, 4, 5, 6, 7, 8, 21, 22, 23}));
    EXPECT_EQ(FindTable(4)->ColumnCount(), 11);
    EXPECT_EQ(FindTable("IMG200")->ColumnCount(), 12);

    const auto& pat = *FindTable("PAT200");
    std::set<std::string> notNull;
    for (const auto& c : pat.columns)
        if (IsColumnNotNull(c)) notNull.insert(c.name);
    EXPECT_EQ(notNull, (std::set<std::string>{"PATID", "PATKEY", "PATDOCKEY", "PATNAME", "PATNUMBER"}));
    EXPECT_EQ(SqlTypeOfColumnType(eTypeBinary), -2);
    EXPECT_EQ(SqlTypeOfColumnType(eTypeTimestamp), 11);
}

}  // namespace
