// What a user meets at the qeldb command line: exit codes, `info`,
// `backup`/`restore` of the SQLite file, the order and alignment of
// `patients list`, bounded import reports and the members reference. Each
// runs the program as a child process in this test's sandbox.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <qel/datasource/EngineDrivers.h>
#include <qel/platform/NamedMutex.h>

#include "support/Program.h"
#include "support/Sandbox.h"
#include "support/Engines.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace qel::test {
namespace {

const char* const kHeader = "name,kanji_name,number,birth_date,sex,doctor\n";

std::vector<std::string> On(const std::string& db) { return {"--data-source", "QelCli", "--path", db}; }

ProgramResult RunOn(std::vector<std::string> args, const std::string& db,
                  const std::map<std::string, std::optional<std::string>>& environment = {}) {
    for (const std::string& arg : On(db)) args.push_back(arg);
    return RunQeldb(args, environment);
}

ProgramResult Import(const std::string& db, const std::string& name, const std::string& rows) {
    return RunOn({"patients", "import", WriteSandboxFile(name, std::string(kHeader) + rows)}, db);
}

// The value of "key":"..." or "key":N in one line of JSON.
std::string JsonField(const std::string& json, const std::string& key) {
    std::smatch match;
    const std::regex pattern("\"" + key + "\":(\"([^\"]*)\"|[-0-9]+|true|false|null)");
    if (!std::regex_search(json, match, pattern)) return "<absent>";
    return match[2].matched ? match[2].str() : match[1].str();
}

TEST(CliExitCodes, UsageErrorsAreTwoAndAMissingDatabaseIsThree) {
    const ProgramResult bare = RunQeldb({});
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_THAT(bare.err, HasSubstr("Usage:"));
    EXPECT_THAT(bare.err, HasSubstr("patients"));

    EXPECT_EQ(RunQeldb({"--no-such-option"}).exitCode, 2);
    EXPECT_EQ(RunQeldb({"patients", "list", "--csv", "extra"}).exitCode, 2);
    const ProgramResult noDatabase = RunQeldb({"patients", "list"});
    EXPECT_EQ(noDatabase.exitCode, 2);
    EXPECT_THAT(noDatabase.err, HasSubstr("choose a database"));

    const ProgramResult missing = RunQeldb({"info", "--profile", "7"});
    EXPECT_EQ(missing.exitCode, 3) << missing.err;
    EXPECT_THAT(missing.err, HasSubstr("cannot load profile 7"));

    const std::string folder = Sandbox::Current().Path("a-folder");
    std::filesystem::create_directories(folder);
    const ProgramResult script = RunQeldb({"script", folder});
    EXPECT_EQ(script.exitCode, 1);
    EXPECT_THAT(script.err, HasSubstr(folder + " is a folder"));
}

TEST(CliInfo, CountsTablesSettingsIdentityAndFilesAsTextAndJson) {
    const std::string db = Sandbox::Current().Path("info/clinic.db");
    ASSERT_EQ(Import(db, "info.csv", "Rossi Mario,,P-1,,M,Dott. Verdi\nBianchi Laura,,P-2,,F,\n").exitCode, 0);

    const ProgramResult json = RunOn({"info", "--json"}, db);
    ASSERT_EQ(json.exitCode, 0) << json.err;
    ASSERT_EQ(Lines(json.out).size(), 1u) << json.out;
    EXPECT_EQ(JsonField(json.out, "patients"), "2");
    EXPECT_EQ(JsonField(json.out, "doctors"), "1") << "Dott. Verdi";
    EXPECT_EQ(JsonField(json.out, "engine"), "sqlite");
    EXPECT_EQ(JsonField(json.out, "path"), db);
    EXPECT_EQ(JsonField(json.out, "registry"), Sandbox::Current().RegistryFile());
    EXPECT_EQ(JsonField(json.out, "allowDuplicatePatientIDs"), "true");
    const std::string identity = JsonField(json.out, "identity");
    EXPECT_EQ(identity.size(), 32u) << json.out;
    EXPECT_EQ(JsonField(json.out, "profileIdentity"), identity);
    // PAT200's counter follows the keys the import took (first patient row 0, then 1 and 2).
    EXPECT_THAT(json.out, HasSubstr("{\"number\":4,\"table\":\"PAT200\",\"version\":11,\"nextKey\":3}"));
    EXPECT_THAT(json.out, HasSubstr("{\"number\":0,\"table\":\"TBL200\",\"version\":0,"));

    const ProgramResult text = RunOn({"info"}, db);
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("patients             2\n"));
    EXPECT_THAT(text.out, HasSubstr("identity             " + identity + "\n"));
    EXPECT_THAT(text.out, HasSubstr("PAT200"));
    EXPECT_THAT(text.out, HasSubstr("duplicate IDs        allowed"));
}

TEST(CliBackup, SqliteBackupRestoresTheEarlierContentsAndIdentity) {
    const std::string db = Sandbox::Current().Path("backup/clinic.db");
    const std::string copy = Sandbox::Current().Path("backup/clinic-copy.db");
    ASSERT_EQ(Import(db, "before.csv", "Rossi Mario,,P-1,,M,\n").exitCode, 0);
    const std::string identity = JsonField(RunOn({"info", "--json"}, db).out, "identity");

    const ProgramResult backup = RunOn({"backup", copy}, db);
    ASSERT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_THAT(backup.out, HasSubstr("backed up " + db + " to " + copy));
    const ProgramResult again = RunOn({"backup", copy}, db);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_THAT(again.err, HasSubstr(copy + " exists already"));

    ASSERT_EQ(Import(db, "after.csv", "Verdi Anna,,P-2,,F,\n").exitCode, 0);
    const ProgramResult restore = RunOn({"restore", copy}, db);
    ASSERT_EQ(restore.exitCode, 0) << restore.err;
    const ProgramResult list = RunOn({"patients", "list", "--csv"}, db);
    EXPECT_EQ(list.out, std::string(kHeader) + "Rossi Mario,,P-1,,M,\n") << list.err;
    EXPECT_EQ(JsonField(RunOn({"info", "--json"}, db).out, "identity"), identity);

    const ProgramResult notSqlite = RunOn({"restore", WriteSandboxFile("junk.db", "not a database at all")}, db);
    EXPECT_EQ(notSqlite.exitCode, 1);
    EXPECT_THAT(notSqlite.err, HasSubstr("is not an SQLite database file"));
    EXPECT_EQ(RunOn({"patients", "list", "--csv"}, db).out, std::string(kHeader) + "Rossi Mario,,P-1,,M,\n");
}

TEST(CliBackup, RestoreWaitsForNoProgramToHaveTheProfileOpen) {
    const std::string db = Sandbox::Current().Path("stored/clinic.db");
    const std::string copy = Sandbox::Current().Path("stored-copy.db");
    ASSERT_EQ(RunQeldb({"profile", "set", "5", "--data-source", "QelStored", "--path", db}).exitCode, 0);
    const ProgramResult backup = RunQeldb({"backup", copy, "--profile", "5"});
    ASSERT_EQ(backup.exitCode, 0) << backup.err;
    {
        // A workstation with profile 5 open holds this mutex.
        auto open = qel::platform::NamedMutex::Create("QEL_DB_MUTEX_5");
        ASSERT_TRUE(open.handle) << open.error;
        const ProgramResult blocked = RunQeldb({"restore", copy, "--profile", "5"});
        EXPECT_EQ(blocked.exitCode, 1);
        EXPECT_THAT(blocked.err, HasSubstr("profile 5 is open in a program on this computer"));
    }
    const ProgramResult restore = RunQeldb({"restore", copy, "--profile", "5"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err;
}

TEST(CliBackup, PostgresBackupAndRestoreGoThroughPgDumpAndPgRestore) {
    QEL_REQUIRE_ENGINE(qel::datasource::kEngineClientServer);
    auto pg = ScratchDatabase::Create(qel::datasource::kEngineClientServer, "backup");
    const qel::test::PostgresServer server = *qel::test::Postgres();
    const ProgramResult set = RunQeldb({"profile", "set", "9", "--engine", "postgresql", "--server",
                                        server.host, "--port", server.port,
                                        "--database", pg->Location(), "--user", server.user,
                                        "--data-source", "QelPgBackup"},
                                       {{"QEL_PG_PASSWORD", std::nullopt}});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const auto import = [](const std::string& name, const std::string& rows) {
        return RunQeldb({"patients", "import", WriteSandboxFile(name, std::string(kHeader) + rows), "--profile", "9"});
    };
    ASSERT_EQ(import("pg-before.csv", "Rossi Mario,,P-1,,M,\n").exitCode, 0);
    const std::string dump = Sandbox::Current().Path("clinic.dump");
    const ProgramResult backup = RunQeldb({"backup", dump, "--profile", "9"});
    ASSERT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_THAT(backup.err, HasSubstr("pg_dump --format=custom --file=" + dump));
    EXPECT_THAT(backup.err, HasSubstr("--dbname=" + pg->Location()));

    ASSERT_EQ(import("pg-after.csv", "Verdi Anna,,P-2,,F,\n").exitCode, 0);
    const ProgramResult restore = RunQeldb({"restore", dump, "--profile", "9"});
    ASSERT_EQ(restore.exitCode, 0) << restore.err;
    const ProgramResult list = RunQeldb({"patients", "list", "--csv", "--profile", "9"});
    EXPECT_EQ(list.out, std::string(kHeader) + "Rossi Mario,,P-1,,M,\n") << list.err;
}

// Columns a terminal gives the text of these tests: CJK and full-width
// forms two, everything else one.
size_t Columns(const std::string& utf8) {
    size_t columns = 0;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        columns += (cp >= 0x3000 && cp <= 0x9FFF) || (cp >= 0xFF01 && cp <= 0xFF60) ? 2 : 1;
        i += length;
    }
    return columns;
}

TEST(CliPatientsList, NamesInTheUsersAlphabetWithKanjiAlignedByDisplayWidth) {
    const std::string db = Sandbox::Current().Path("list/clinic.db");
    ASSERT_EQ(Import(db, "names.csv",
                     "Zeta Carlo,,No.1,,,\n"
                     "\xC3\x81vila Rosa,\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90,No.2,,,\n"  // Ávila, 山田花子
                     "Abate Luca,,No.3,,,\n"
                     "\xC3\x89sposito Ugo,,No.4,,,\n"  // Ésposito
                     "Esposito Anna,\xE4\xB8\x80,No.5,,,\n")  // 一
                  .exitCode,
              0);
    const std::map<std::string, std::optional<std::string>> italian = {
        {"LANG", "it_IT.UTF-8"}, {"LC_ALL", std::nullopt}, {"LC_CTYPE", std::nullopt}};
    const ProgramResult list = RunOn({"patients", "list"}, db, italian);
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const std::vector<std::string> lines = Lines(list.out);
    ASSERT_EQ(lines.size(), 6u) << list.out;
    std::vector<std::string> order;
    for (size_t i = 1; i < lines.size(); ++i) order.push_back(lines[i]);
    // Accented capitals beside their base letters, not after Z.
    EXPECT_THAT(order[0], HasSubstr("Abate Luca"));
    EXPECT_THAT(order[1], HasSubstr("\xC3\x81vila Rosa"));
    EXPECT_THAT(order[2], HasSubstr("Esposito Anna"));
    EXPECT_THAT(order[3], HasSubstr("\xC3\x89sposito Ugo"));
    EXPECT_THAT(order[4], HasSubstr("Zeta Carlo"));

    // The Kanji names are shown, and the NUMBER column starts at one screen
    // column on every line although 山田花子 takes eight columns in four characters.
    EXPECT_THAT(lines[0], HasSubstr("KANJI NAME"));
    EXPECT_THAT(order[1], HasSubstr("\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90"));
    const size_t heading = Columns(lines[0].substr(0, lines[0].find("NUMBER")));
    const std::vector<std::string> numbers = {"No.3", "No.2", "No.5", "No.4", "No.1"};
    for (size_t i = 0; i < order.size(); ++i) {
        const size_t at = order[i].find(numbers[i]);
        ASSERT_NE(at, std::string::npos) << order[i];
        EXPECT_EQ(Columns(order[i].substr(0, at)), heading) << list.out;
    }
    // The CSV lists in the same order.
    const ProgramResult csv = RunOn({"patients", "list", "--csv"}, db, italian);
    EXPECT_THAT(Lines(csv.out)[2], HasSubstr("\xC3\x81vila Rosa"));
}

TEST(CliPatientsImport, AReimportReportsABoundedListAndACount) {
    const std::string db = Sandbox::Current().Path("reimport/clinic.db");
    std::string rows;
    for (int i = 1; i <= 150; ++i) rows += "Patient " + std::to_string(i) + ",,N-" + std::to_string(i) + ",,,\n";
    ASSERT_EQ(Import(db, "all.csv", rows).exitCode, 0);
    const ProgramResult again = Import(db, "all-again.csv", rows);
    EXPECT_EQ(again.exitCode, 1);
    const std::vector<std::string> lines = Lines(again.err);
    EXPECT_LE(lines.size(), 25u) << again.err;
    EXPECT_THAT(again.err, HasSubstr(":2: patient \"Patient 1\" with number \"N-1\" is already in the database"));
    EXPECT_THAT(again.err, HasSubstr("and 130 more refused row(s) not shown"));
    EXPECT_THAT(again.err, HasSubstr("nothing imported: 150 invalid row(s)"));

    const ProgramResult all = RunOn({"patients", "import", WriteSandboxFile("all-3.csv", std::string(kHeader) + rows),
                                   "--all-reasons"},
                                  db);
    EXPECT_THAT(all.err, HasSubstr(":151: patient \"Patient 150\""));
}

// The reference between the markers in docs/members.md is what the
// dispatch table says: the doc cannot drift from the component.
TEST(CliMembers, TheReferenceInTheDocsIsTheDispatchTable) {
    const ProgramResult members = RunQeldb({"members"});
    ASSERT_EQ(members.exitCode, 0) << members.err;
    EXPECT_THAT(members.out, HasSubstr("| `AddNew` | 30 | method | BOOL, BOOL | BOOL |\n"));
    EXPECT_THAT(members.out, HasSubstr("| `GetDoctor` | 40 | method | long, long* | BOOL |\n"));
    EXPECT_THAT(members.out, HasSubstr("| `strError` | 28 | property | — | BSTR |\n"));

    const std::string doc = ReadFile(SourcePath("docs/members.md"));
    const std::string begin = "<!-- members:begin (qeldb members) -->\n";
    const std::string end = "<!-- members:end -->";
    const size_t from = doc.find(begin);
    const size_t to = doc.find(end);
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    EXPECT_EQ(doc.substr(from + begin.size(), to - from - begin.size()), members.out)
        << "run `qeldb members` and paste its table into docs/members.md";
}

// The script example of docs/cli.md runs as written (only its database path
// is moved into the sandbox) and prints what the page shows.
TEST(CliDocs, TheScriptExampleRunsAsShown) {
    const std::string doc = ReadFile(SourcePath("docs/cli.md"));
    const std::string scriptStart = "```text clinic.txt\n";
    const size_t from = doc.find(scriptStart);
    ASSERT_NE(from, std::string::npos);
    std::string script = doc.substr(from + scriptStart.size(), doc.find("```", from + scriptStart.size()) -
                                                                   from - scriptStart.size());
    const std::string docPath = "/srv/quorva/clinic.db";
    ASSERT_NE(script.find(docPath), std::string::npos);
    script.replace(script.find(docPath), docPath.size(), Sandbox::Current().Path("doc/clinic.db"));

    const std::string shownStart = "$ qeldb script clinic.txt\n";
    const size_t shown = doc.find(shownStart);
    ASSERT_NE(shown, std::string::npos);
    const std::string expected = doc.substr(shown + shownStart.size(), doc.find("```", shown) - shown - shownStart.size());

    ASSERT_EQ(RunQeldb({"register"}).exitCode, 0);
    const ProgramResult run = RunQeldb({"script", WriteSandboxFile("clinic.txt", script)});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.out, expected);
}

}  // namespace
}  // namespace qel::test
