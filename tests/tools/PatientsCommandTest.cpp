// The qeldb program's patient import and listing, run as a child process in
// this test's sandbox on a temporary profile over a SQLite file.
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/Database.h>

#include "support/Sandbox.h"
#include "support/Program.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace qel::test {
namespace {

const char* const kHeader = "name,kanji_name,number,birth_date,sex,doctor\n";

class PatientsCommandTest : public ::testing::Test {
protected:
    std::string Db() const { return Sandbox::Current().Path("clinic.db"); }
    ProgramResult Import(const std::string& file, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"patients", "import", file, "--data-source", "QelImport", "--path", Db()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunQeldb(args);
    }
    std::string ListCsv() {
        const ProgramResult list = RunQeldb({"patients", "list", "--csv", "--data-source", "QelImport", "--path", Db()});
        EXPECT_EQ(list.exitCode, 0) << list.err;
        return list.out;
    }
};

TEST_F(PatientsCommandTest, ImportedFileListsBackInNameOrder) {
    const std::string rows =
        "Bianchi Laura,,P-002,1980-02-29,F,Dott. Verdi\n"
        "\"Conti, Marta\",\xe5\xb1\xb1\xe7\x94\xb0,P-003,,,\n"
        "Rossi Mario,,P-001,,M,Dott. Verdi\n"
        "\"Russo \"\"Pino\"\"\",,,1975-12-31,M,Dott. Neri\n";
    const std::string file = WriteSandboxFile("good.csv", std::string(kHeader) + rows);
    const ProgramResult run = Import(file);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("imported 4 patients, 2 new doctors, in "));
    // Written back, fields are quoted only where the format needs it.
    EXPECT_EQ(ListCsv(), std::string(kHeader) + rows);

    const ProgramResult table = RunQeldb({"patients", "list", "--data-source", "QelImport", "--path", Db()});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    const std::vector<std::string> lines = Lines(table.out);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].find("NAME"), lines[2].find("Conti, Marta")) << table.out;
    EXPECT_EQ(lines[0].find("DOCTOR"), lines[1].find("Dott. Verdi")) << table.out;
    EXPECT_THAT(lines[1], HasSubstr("1980-02-29"));
}

// Two workstations' programs importing into one file at the same instant,
// through two stored profiles: each writes its data source while the other
// does, and both imports must land.
TEST_F(PatientsCommandTest, TwoImportsIntoOneFileAtOnceBothLand) {
    for (const char* number : {"2", "3"}) {
        const ProgramResult set = RunQeldb({"profile", "set", number, "--name", std::string("Studio ") + number,
                                            "--data-source", std::string("Shared") + number, "--path", Db()});
        ASSERT_EQ(set.exitCode, 0) << set.err;
    }
    const std::string first = WriteSandboxFile("first.csv", std::string(kHeader) +
                                                                "Rossi Mario,,A-1,1970-01-02,M,Dr Neri\n"
                                                                "Bianchi Anna,,A-2,1980-03-04,F,Dr Neri\n");
    const std::string second = WriteSandboxFile("second.csv", std::string(kHeader) +
                                                                  "Verdi Luca,,B-1,1990-05-06,M,Dr Neri\n"
                                                                  "Neri Sara,,B-2,2000-07-08,F,Dr Gallo\n");
    auto importing = [](const std::string& profile, const std::string& file) {
        return std::async(std::launch::async, [=] { return RunQeldb({"patients", "import", file, "--profile", profile}); });
    };
    auto a = importing("2", first);
    auto b = importing("3", second);
    const ProgramResult ra = a.get(), rb = b.get();
    EXPECT_EQ(ra.exitCode, 0) << ra.err;
    EXPECT_EQ(rb.exitCode, 0) << rb.err;

    const ProgramResult list = RunQeldb({"patients", "list", "--csv", "--profile", "2"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    for (const char* number : {"A-1", "A-2", "B-1", "B-2"}) EXPECT_THAT(list.out, HasSubstr(number));
    const std::string ini = ReadFile(Sandbox::Current().OdbcIni());
    EXPECT_THAT(ini, HasSubstr("[Shared2]\nDriver=SQLite3\nDatabase=" + Db()));
    EXPECT_THAT(ini, HasSubstr("[Shared3]\nDriver=SQLite3\nDatabase=" + Db()));
}

TEST_F(PatientsCommandTest, ReaderAcceptsBomCrlfQuotingAndAnyColumnOrder) {
    const std::string file = WriteSandboxFile(
        "quoted.csv", "\xEF\xBB\xBF" "doctor,sex,name,number\r\n"
                      "\"Dott. \"\"Gigi\"\" Neri\",m,\"Esposito\r\nMarco\",7\r\n"
                      "\r\n"
                      ",F,  Greco Anna  ,\"8\"\r\n");
    const ProgramResult run = Import(file);
    // A line break inside a name is refused, at the line where the record starts.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr(file + ":2: name contains a line break"));

    const std::string fixed = WriteSandboxFile(
        "fixed.csv", "\xEF\xBB\xBF" "doctor,sex,name,number\r\n"
                     "\"Dott. \"\"Gigi\"\" Neri\",m,\"Esposito, Marco\",7\r\n"
                     "\r\n"
                     ",F,  Greco Anna  ,\"8\"\r\n");
    const ProgramResult again = Import(fixed);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ListCsv(), std::string(kHeader) +
                             "\"Esposito, Marco\",,7,,M,\"Dott. \"\"Gigi\"\" Neri\"\n"
                             "Greco Anna,,8,,F,\n");
}

TEST_F(PatientsCommandTest, OneBadRowRefusesTheFileUnlessSkipped) {
    ASSERT_EQ(Import(WriteSandboxFile("first.csv", std::string(kHeader) + "Gallo Pia,,1,,,\n")).exitCode, 0);
    const std::string file = WriteSandboxFile("bad.csv", std::string(kHeader) +
                                                             "Marino Ugo,,2,1990-01-01,M,Dott. Blu\n"  // line 2
                                                             "Costa Eva,,3,1990-02-30,F,\n"            // 3
                                                             "Costa Ada,,4,,X,\n"                      // 4
                                                             ",,5,,,\n"                                // 5
                                                             "Leone Ivo,,6\n"                          // 6
                                                             "Leone Ivo,,7,3000-01-01,,\n"             // 7
                                                             "Villa Noa,,8,1990/01/01,,\n"             // 8
                                                             "Serra Rio,,9,,,\"Dott. Blu\n");          // 9
    const ProgramResult refused = Import(file);
    EXPECT_EQ(refused.exitCode, 1);
    for (const char* expected : {":3: birth date \"1990-02-30\" does not exist", ":4: sex \"X\" is not M, F or empty",
                                 ":5: the name is missing", ":6: expected 6 fields, found 3",
                                 ":7: birth date \"3000-01-01\" is in the future", ":8: birth date \"1990/01/01\" is not",
                                 ":9: a quoted field is not closed", "nothing imported: 7 invalid row(s)"})
        EXPECT_THAT(refused.err, HasSubstr(expected)) << refused.err;
    EXPECT_THAT(refused.err, Not(HasSubstr(":2:")));
    EXPECT_EQ(ListCsv(), std::string(kHeader) + "Gallo Pia,,1,,,\n");

    const ProgramResult skipped = Import(file, {"--skip-invalid"});
    ASSERT_EQ(skipped.exitCode, 0) << skipped.err;
    EXPECT_THAT(skipped.err, HasSubstr(":3: birth date"));
    EXPECT_THAT(skipped.out, HasSubstr("imported 1 patient, 1 new doctor, skipped 7 invalid rows"));
    EXPECT_EQ(ListCsv(), std::string(kHeader) + "Gallo Pia,,1,,,\nMarino Ugo,,2,1990-01-01,M,Dott. Blu\n");
}

TEST_F(PatientsCommandTest, DuplicatesInTheFileAndTheDatabaseAreRefused) {
    ASSERT_EQ(Import(WriteSandboxFile("first.csv", std::string(kHeader) + "Ricci Lia,,10,,,\n")).exitCode, 0);
    const std::string file = WriteSandboxFile("dup.csv", std::string(kHeader) +
                                                             "Ricci Lia,,10,,,\n"   // in the database
                                                             "Ricci Lia,,11,,,\n"   // same name, other number
                                                             "Bruno Re,,12,,,\n"
                                                             "Bruno Re,,12,,,\n");  // repeats line 4
    const ProgramResult run = Import(file);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr(":2: patient \"Ricci Lia\" with number \"10\" is already in the database"));
    EXPECT_THAT(run.err, HasSubstr(":5: patient \"Bruno Re\" with number \"12\" repeats line 4"));
    EXPECT_THAT(run.err, Not(HasSubstr(":3:")));

    // A database that refuses duplicate patient IDs also refuses a number alone.
    {
        CDatabaseObj db;
        ASSERT_TRUE(db.AddNew(TRUE, FALSE));
        db.SetStrDataSource("QelSettings");
        db.SetStrDirectory(Db().c_str());
        ASSERT_TRUE(db.Open2(FALSE)) << db.lErrorCode;
        db.SetBAllowDuplicatePatientIDs(FALSE);
        ASSERT_EQ(db.lErrorCode, 0);
        db.Close();
    }
    const ProgramResult strict = Import(WriteSandboxFile("num.csv", std::string(kHeader) + "Other Name,,10,,,\n"));
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_THAT(strict.err, HasSubstr(":2: number \"10\" is already in the database"));
}

TEST_F(PatientsCommandTest, AFailedWriteLeavesNothingOfTheImport) {
    ASSERT_EQ(Import(WriteSandboxFile("first.csv", std::string(kHeader) + "Gallo Pia,,1,,,\n")).exitCode, 0);
    {
        // The engine refuses one patient after the others of the file are written.
        CDatabase connection;
        connection.OpenEx(qel::datasource::FileEngineConnectString(Db()).c_str());
        connection.ExecuteSQL("CREATE TRIGGER refuse BEFORE INSERT ON PAT200 WHEN NEW.PATNAME = 'Boom' "
                              "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
        connection.Close();
    }
    const ProgramResult run = Import(WriteSandboxFile(
        "boom.csv", std::string(kHeader) + "Alfa Uno,,1,,,Dott. Nuovo\nBeta Due,,2,,,\nBoom,,3,,,\n"));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_THAT(run.err, HasSubstr("line 4: "));
    EXPECT_THAT(run.err, HasSubstr("refused by the test"));
    EXPECT_THAT(run.err, HasSubstr("nothing was imported"));
    EXPECT_EQ(ListCsv(), std::string(kHeader) + "Gallo Pia,,1,,,\n");
    const ProgramResult doctors = RunQeldb({"patients", "list", "--data-source", "QelImport", "--path", Db()});
    EXPECT_THAT(doctors.out, Not(HasSubstr("Dott. Nuovo")));

    // The keys were reserved before the transaction and stay used: the
    // counters continue after the block of the failed import.
    CDatabaseObj db;
    ASSERT_TRUE(db.AddNew(TRUE, FALSE));
    db.SetStrDataSource("QelKeys");
    db.SetStrDirectory(Db().c_str());
    ASSERT_TRUE(db.Open2(FALSE)) << db.lErrorCode;
    LONG key = 0;
    ASSERT_TRUE(db.GetNewKey(4, &key));
    EXPECT_EQ(key, 5);  // 1 for Gallo Pia, 2..4 for the three refused
    ASSERT_TRUE(db.GetNewKey(1, &key));
    EXPECT_EQ(key, 2);
    db.Close();
}

TEST_F(PatientsCommandTest, BadArgumentsAndHeadersGiveOneClearMessage) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"patients", "list"}, 2, "choose a database: --profile N, or --data-source NAME --path FILE"},
        {{"patients", "list", "--profile", "3", "--path", Db()}, 2, "cannot be combined"},
        {{"patients", "list", "--data-source", "X"}, 2, "--data-source needs --path FILE"},
        {{"patients", "list", "--profile", "7"}, 3, "cannot load profile 7 (lErrorCode "},
        {{"patients", "import", Sandbox::Current().Path("missing.csv"), "--data-source", "X", "--path", Db()}, 1,
         "cannot read"},
        {{"patients", "import", WriteSandboxFile("h1.csv", "name,birthday\nA,1\n"), "--data-source", "X", "--path",
          Db()},
         1, ":1: unknown column \"birthday\""},
        {{"patients", "import", WriteSandboxFile("h2.csv", "number,sex\n1,M\n"), "--data-source", "X", "--path", Db()},
         1, "the header has no \"name\" column"},
        {{"patients", "import", WriteSandboxFile("h3.csv", ""), "--data-source", "X", "--path", Db()}, 1,
         "the file is empty"},
    };
    for (const Case& c : cases) {
        const ProgramResult run = RunQeldb(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message << "\n" << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.message));
    }
    EXPECT_EQ(RunQeldb({"patients", "list", "--data-source", "X", "--path", Db()}).out,
              "KEY  NAME  KANJI NAME  NUMBER  BIRTH DATE  DOCTOR\n");
}

}  // namespace
}  // namespace qel::test
