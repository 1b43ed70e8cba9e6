// `qeldb profile` run as a separate process on this test's sandbox (the
// registry file and $ODBCINI come from the environment it inherits); the
// profiles it writes are then loaded and opened by the component in this
// process.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/platform/AppProfile.h>
#include <qel/platform/Registry.h>

#include "support/DatabaseObjTesting.h"
#include "support/Program.h"
#include "support/Sandbox.h"
#include "support/Engines.h"

namespace fs = std::filesystem;
using qel::test::Sandbox;

namespace {

using qel::test::ReadFile;

using Result = qel::test::ProgramResult;

// Runs `qeldb profile <args>` with stdin from /dev/null.
Result Profile(const std::vector<std::string>& args,
               const std::map<std::string, std::optional<std::string>>& environment = {}) {
    std::vector<std::string> all{"profile"};
    all.insert(all.end(), args.begin(), args.end());
    return qel::test::RunQeldb(all, environment);
}

std::string Key(LONG number) {
    return qel::platform::AppProfile::Current().RootKey() + "\\DatabaseJ" + std::to_string(number);
}

qel::platform::Registry& Store() { return qel::platform::Registry::CurrentUser(); }

using Section = qel::test::IniSection;

Section IniSection(const std::string& name) { return qel::test::ReadIni(Sandbox::Current().OdbcIni())[name]; }

// The row of `list` for a profile number, split at runs of two spaces.
std::vector<std::string> ListRow(const std::string& listing, LONG number) {
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::size_t at = line.find_first_not_of(' ');
        while (at != std::string::npos) {
            const auto gap = line.find("  ", at);
            cells.push_back(line.substr(at, gap == std::string::npos ? gap : gap - at));
            at = gap == std::string::npos ? gap : line.find_first_not_of(' ', gap);
        }
        if (!cells.empty() && cells.front() == std::to_string(number)) return cells;
    }
    return {};
}

class ProfileCommand : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QEL_MODULE_DIR", qel::test::BinaryPath("bin").c_str(), 1); }

    qel::test::RecordedUserInterface m_ui;
};

TEST_F(ProfileCommand, SetWritesAProfileTheComponentOpensAndListShowRemoveRoundTrip) {
    const std::string path = Sandbox::Current().Path("clinics/rossi.db");
    Result set = Profile({"set", "3", "--name", "Studio Rossi", "--data-source", "QelCli3", "--path", path});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const std::string key = Key(3);
    EXPECT_EQ(Store().GetInt(key, "MultiUser"), 0);
    EXPECT_EQ(Store().GetInt(key, "Default"), 1);
    EXPECT_EQ(Store().GetInt(key, "CurrentDoctor"), 0);
    EXPECT_EQ(Store().GetInt(key, "Engine"), std::nullopt) << "the file engine is the absent value";

    {
        CDatabaseObj db;
        ASSERT_TRUE(db.Get(3)) << db.GetLErrorCode();
        EXPECT_EQ(db.GetLEngine(), qel::datasource::kEngineFile);
        ASSERT_TRUE(db.Open2(FALSE)) << db.GetLErrorCode();
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_TRUE(db.Close());
    }
    ASSERT_EQ(Profile({"set", "12", "--data-source", "QelCli12", "--path", "/srv/other.db"}).exitCode, 0);
    EXPECT_EQ(Store().GetString(Key(12), "Name"), "QelCli12") << "a new profile is named after its data source";

    Result list = Profile({"list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(ListRow(list.out, 3), (std::vector<std::string>{"3", "Studio Rossi", "sqlite", "QelCli3", path}));
    EXPECT_EQ(ListRow(list.out, 12), (std::vector<std::string>{"12", "QelCli12", "sqlite", "QelCli12", "/srv/other.db"}));
    EXPECT_LT(list.out.find("Studio Rossi"), list.out.find("/srv/other.db")) << "listed by number";

    Result show = Profile({"show", "3"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    const auto id = Store().GetString(key, "DatabaseID");
    ASSERT_TRUE(id && id->size() == 32) << "the open remembered the identity";
    for (const std::string& line : std::vector<std::string>{"Name = \"Studio Rossi\"", "MultiUser = 0", "Default = 1", "CurrentDoctor = 0",
                                    "Path = \"" + path + "\"", "DatabaseID = \"" + *id + "\"", "engine: sqlite",
                                    "the component loads it"})
        EXPECT_NE(show.out.find(line), std::string::npos) << line << "\n" << show.out;

    Result remove = Profile({"remove", "3"});
    ASSERT_EQ(remove.exitCode, 0) << remove.err;
    EXPECT_FALSE(Store().KeyExists(key));
    CDatabaseObj db;
    EXPECT_FALSE(db.Get(3));
    EXPECT_EQ(db.GetLErrorCode(), 7010);
    EXPECT_TRUE(ListRow(Profile({"list"}).out, 3).empty());
    EXPECT_FALSE(ListRow(Profile({"list"}).out, 12).empty());
    for (const char* command : {"remove", "show"}) {
        Result again = Profile({command, "3"});
        EXPECT_EQ(again.exitCode, 1) << command;
        EXPECT_NE(again.err.find("profile 3 does not exist"), std::string::npos) << again.err;
    }
    ASSERT_EQ(Profile({"remove", "12"}).exitCode, 0);
    Result empty = Profile({"list"});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_NE(empty.err.find("no profiles"), std::string::npos) << empty.err;
}

TEST_F(ProfileCommand, SetChangesOnlyWhatItIsGivenAndRepairsWhatTheComponentRefuses) {
    auto& profile = qel::platform::AppProfile::Current();
    profile.WriteProfileInt("DatabaseJ5", "MultiUser", 0);
    profile.WriteProfileInt("DatabaseJ5", "Default", 0);
    profile.WriteProfileString("DatabaseJ5", "DataSource", "Clinic");
    profile.WriteProfileString("DatabaseJ5", "Path", "/srv/clinic.db");
    profile.WriteProfileString("DatabaseJ5", "Name", "Studio Bianchi");
    profile.WriteProfileString("DatabaseJ5", "DatabaseID", "0123456789ABCDEF0123456789ABCDEF");
    profile.WriteProfileInt("DatabaseJ5", "CurrentDoctor", -1);

    ASSERT_EQ(Profile({"set", "5", "--name", "Studio Verdi"}).exitCode, 0);
    const std::string key = Key(5);
    EXPECT_EQ(Store().GetInt(key, "Default"), 1) << "0 is refused by the component";
    EXPECT_EQ(Store().GetInt(key, "CurrentDoctor"), 0) << "-1 counts as absent";
    EXPECT_EQ(Store().GetString(key, "DataSource"), "Clinic");
    EXPECT_EQ(Store().GetString(key, "DatabaseID"), "0123456789ABCDEF0123456789ABCDEF");
    ASSERT_EQ(Profile({"set", "5", "--current-doctor", "9"}).exitCode, 0);
    CDatabaseObj db;
    ASSERT_TRUE(db.Get(5));
    EXPECT_EQ(db.GetLCurrentDoctor(), 9);
    EXPECT_EQ(qel::test::Take(db.GetStrName()), "Studio Verdi");

    // A multi-user profile is written as asked, with a note that the
    // component will not load it.
    Result multi = Profile({"set", "5", "--multi-user", "1"});
    EXPECT_EQ(multi.exitCode, 0);
    EXPECT_NE(multi.err.find("Get answers error 20"), std::string::npos) << multi.err;
    EXPECT_FALSE(db.Get(5));
    profile.WriteProfileInt("DatabaseJ5", "Default", -1);
    ASSERT_EQ(Profile({"set", "5", "--multi-user", "0"}).exitCode, 0);
    EXPECT_EQ(Store().GetInt(key, "Default"), 1) << "-1 counts as absent";

    // An engine code this build does not know must be replaced explicitly.
    profile.WriteProfileInt("DatabaseJ5", "Engine", 5);
    Result unknown = Profile({"set", "5", "--name", "x"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("engine value 5"), std::string::npos) << unknown.err;
    EXPECT_NE(ListRow(Profile({"list"}).out, 5), std::vector<std::string>{}) << "still listed";
    EXPECT_EQ(ListRow(Profile({"list"}).out, 5).at(2), "unknown (5)");
    ASSERT_EQ(Profile({"set", "5", "--engine", "sqlite"}).exitCode, 0);
    EXPECT_FALSE(Store().GetInt(key, "Engine"));
    ASSERT_TRUE(db.Get(5));
    EXPECT_EQ(db.GetLEngine(), qel::datasource::kEngineFile);
}

TEST_F(ProfileCommand, IncompleteOrInvalidInputIsRefusedWithoutWriting) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"set", "6", "--path", "/srv/a.db"}, "--data-source is needed"},
        {{"set", "6", "--data-source", "A"}, "--path is needed"},
        {{"set", "1000", "--data-source", "A", "--path", "/a"}, "profile numbers run from 0 to 999"},
        {{"set", "6", "--data-source", "A", "--path", "/a", "--server", "h"}, "need --engine postgresql"},
        {{"set", "6", "--engine", "postgresql", "--data-source", "P"}, "--database is needed"},
        {{"set", "6", "--engine", "postgresql", "--data-source", "bad[name]", "--database", "d"},
         "the data source name \"bad[name]\" holds '['"},
        {{"set", "6", "--data-source", "A", "--path", "/a", "--multi-user", "2"}, "--multi-user"},
        {{"set", "6", "--data-source", "A", "--path", "/a", "--engine", "mysql"}, "--engine"},
        {{"set", "6", "--data-source", "A", "--path", "/a", "--port", "70000"}, "--port"},
        {{"set", "6", "--data-source", "A", "--path", "/a", "--current-doctor", "-3"}, "--current-doctor"},
        {{"show", "six"}, "N"},
        {{}, "A subcommand is required"},
    };
    for (const auto& [args, message] : cases) {
        const Result result = Profile(args);
        const std::string shown = args.empty() ? "(none)" : args.back();
        EXPECT_NE(result.exitCode, 0) << shown;
        EXPECT_NE(result.err.find(message), std::string::npos) << shown << ": " << result.err;
    }
    EXPECT_FALSE(Store().KeyExists(Key(6)));
    EXPECT_FALSE(Store().KeyExists(Key(1000)));
    EXPECT_TRUE(IniSection("bad[name]").empty() && IniSection("P").empty());
}

TEST_F(ProfileCommand, PostgresProfileWritesItsDataSourceAndKeepsItAcrossChanges) {
    const std::vector<std::string> args = {"set", "7", "--engine", "postgresql", "--server", "db.example",
                                           "--port", "5433", "--database", "clinic", "--user", "quorva",
                                           "--data-source", "QelPg7", "--name", "Studio Pg"};
    Result set = Profile(args, {{"QEL_PG_PASSWORD", "s3cret"}});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const Section written = {{"Driver", qel::datasource::kClientServerDriver},
                             {"Servername", "db.example"},
                             {"Port", "5433"},
                             {"Database", "clinic"},
                             {"Username", "quorva"},
                             {"Password", "s3cret"},
                             {"ByteaAsLongVarBinary", "1"}};
    EXPECT_EQ(IniSection("QelPg7"), written);
    EXPECT_EQ(Store().GetInt(Key(7), "Engine"), 1);
    EXPECT_EQ(Store().GetString(Key(7), "Path"), "db.example:5433/clinic");
    CDatabaseObj db;
    ASSERT_TRUE(db.Get(7));
    EXPECT_EQ(db.GetLEngine(), qel::datasource::kEngineClientServer);

    Result show = Profile({"show", "7"});
    EXPECT_NE(show.out.find("Password = ********"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("Servername = db.example"), std::string::npos) << show.out;
    EXPECT_EQ(show.out.find("s3cret"), std::string::npos) << "the password is never shown";
    EXPECT_EQ(ListRow(Profile({"list"}).out, 7).at(2), "postgresql");

    // Values outside the profile leave the data source as it is.
    ASSERT_EQ(Profile({"set", "7", "--name", "Renamed"}, {{"QEL_PG_PASSWORD", std::nullopt}}).exitCode, 0);
    EXPECT_EQ(IniSection("QelPg7"), written);

    // A connection change rewrites it: other keys stay (also one added by
    // hand), and without a password source no password is written.
    std::string ini = ReadFile(Sandbox::Current().OdbcIni());
    ini.replace(ini.find("[QelPg7]\n"), 9, "[QelPg7]\nSSLmode=require\n");
    qel::test::WriteFile(Sandbox::Current().OdbcIni(), ini);
    Result port = Profile({"set", "7", "--port", "5434"}, {{"QEL_PG_PASSWORD", std::nullopt}});
    ASSERT_EQ(port.exitCode, 0) << port.err;
    EXPECT_NE(port.err.find("no password written"), std::string::npos) << port.err;
    Section expected = written;
    expected.erase("Password");
    expected["Port"] = "5434";
    expected["SSLmode"] = "require";
    EXPECT_EQ(IniSection("QelPg7"), expected);
    EXPECT_EQ(Store().GetString(Key(7), "Path"), "db.example:5433/clinic") << "a stored path is kept";

    // Back to the file engine: the engine value goes, the data source stays.
    ASSERT_EQ(Profile({"set", "7", "--engine", "sqlite", "--path", "/srv/pg7.db"}).exitCode, 0);
    EXPECT_FALSE(Store().GetInt(Key(7), "Engine"));
    ASSERT_TRUE(db.Get(7));
    EXPECT_EQ(db.GetLEngine(), qel::datasource::kEngineFile);
    EXPECT_EQ(IniSection("QelPg7"), expected);
}

LONG Count(CDatabaseObj& db, const std::string& sql) {
    qel::odbc::Statement st(*db.GetDatabase());
    st.Prepare(sql);
    st.Execute();
    return st.Fetch() ? st.GetInt32(1).value_or(-1) : -1;
}

TEST_F(ProfileCommand, PostgresProfilesOpenOnTheServerAndShareTheDatabaseIdentity) {
    QEL_REQUIRE_ENGINE(qel::datasource::kEngineClientServer);
    auto pg = qel::test::ScratchDatabase::Create(qel::datasource::kEngineClientServer, "cli");
    const auto setOn = [&pg](const std::string& number, const std::string& dsn) {
        const qel::test::PostgresServer server = *qel::test::Postgres();
        return Profile({"set", number, "--engine", "postgresql", "--server", server.host, "--port", server.port,
                        "--database", pg->Location(), "--user", server.user, "--data-source", dsn, "--name",
                        "Studio " + dsn},
                       {{"QEL_PG_PASSWORD", std::nullopt}});
    };
    Result first = setOn("7", "QelPgCli7");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    CDatabaseObj a;
    ASSERT_TRUE(a.Get(7));
    ASSERT_TRUE(a.Open2(FALSE)) << a.GetLErrorCode();
    EXPECT_GT(Count(a, "SELECT COUNT(*) FROM TBL200"), 0) << "the open created the schema";
    const std::string id = a.GetID();
    ASSERT_EQ(id.size(), 32U);
    EXPECT_EQ(Store().GetString(Key(7), "DatabaseID"), id);

    // Another profile number with its own data source on the same database.
    ASSERT_EQ(setOn("8", "QelPgCli8").exitCode, 0);
    CDatabaseObj b;
    ASSERT_TRUE(b.Get(8));
    ASSERT_TRUE(b.Open2(FALSE)) << b.GetLErrorCode();
    EXPECT_EQ(b.GetID(), id);
    EXPECT_EQ(Store().GetString(Key(8), "DatabaseID"), id);
    EXPECT_EQ(Count(b, "SELECT COUNT(*) FROM TBL200"), Count(a, "SELECT COUNT(*) FROM TBL200"));
    EXPECT_TRUE(b.Close());
    EXPECT_TRUE(a.Close());

    const std::string listing = Profile({"list"}).out;
    EXPECT_EQ(ListRow(listing, 7).at(2), "postgresql");
    EXPECT_EQ(ListRow(listing, 8).at(3), "QelPgCli8");
    for (const char* number : {"7", "8"}) ASSERT_EQ(Profile({"remove", number}).exitCode, 0);
    EXPECT_NE(Profile({"list"}).err.find("no profiles"), std::string::npos);
    EXPECT_FALSE(IniSection("QelPgCli7").empty()) << "removing a profile keeps its data source";
}

}  // namespace

TEST_F(ProfileCommand, EveryValueIsCheckedBeforeAnyIsWritten) {
    const std::string key = Key(8);
    // A new profile with a refused name is not left half-written.
    Result twoLines = Profile({"set", "8", "--data-source", "QelCli8", "--path", "/srv/a.db", "--name", "two\nlines"});
    EXPECT_EQ(twoLines.exitCode, 1);
    EXPECT_NE(twoLines.err.find("--name holds a line break"), std::string::npos) << twoLines.err;
    EXPECT_FALSE(Store().KeyExists(key));

    // Nor is an existing one changed in part.
    ASSERT_EQ(Profile({"set", "8", "--data-source", "QelCli8", "--path", "/srv/a.db"}).exitCode, 0);
    const std::string before = ReadFile(Sandbox::Current().RegistryFile());
    EXPECT_EQ(Profile({"set", "8", "--path", "/srv/b.db", "--name", "x\ry"}).exitCode, 1);
    EXPECT_EQ(Profile({"set", "8", "--path", "/srv/b\nc.db"}).exitCode, 1);
    EXPECT_EQ(ReadFile(Sandbox::Current().RegistryFile()), before);

    // SQLite data source names follow the installer's rules too, before the
    // component meets them at open.
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Clinic;Rossi", "holds ';'"},
        {std::string(33, 'D'), "longer than 32 characters"},
        {" Clinic", "starts or ends with a blank"},
    };
    for (const auto& [name, message] : names) {
        Result refused = Profile({"set", "9", "--data-source", name, "--path", "/srv/a.db"});
        EXPECT_EQ(refused.exitCode, 1) << name;
        EXPECT_NE(refused.err.find(message), std::string::npos) << name << ": " << refused.err;
    }
    EXPECT_FALSE(Store().KeyExists(Key(9)));

    // A relative path is written as the absolute path it means here.
    Result relative = Profile({"set", "9", "--data-source", "QelCli9", "--path", "clinics/verdi.db"});
    ASSERT_EQ(relative.exitCode, 0) << relative.err;
    const auto path = Store().GetString(Key(9), "Path");
    ASSERT_TRUE(path.has_value());
    EXPECT_TRUE(fs::path(*path).is_absolute()) << *path;
    EXPECT_EQ(fs::path(*path).filename(), "verdi.db");
    EXPECT_NE(relative.err.find("written as " + *path), std::string::npos) << relative.err;
}

TEST_F(ProfileCommand, ARegistryFileThatIsNotOneIsLeftAloneWithItsOwnWords) {
    const std::string file = Sandbox::Current().RegistryFile();
    const char kBinary[] = "\x7f" "ELF\x02\x01\x01\0\0\0 some program";
    const std::string binary(kBinary, sizeof kBinary - 1);
    std::ofstream(file, std::ios::binary) << binary;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"profile", "set", "3", "--data-source", "QelCli3", "--path", "/srv/a.db"}, {"register"}, {"profile", "list"}}) {
        const Result r = qel::test::RunQeldb(args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_NE(r.err.find("registry file " + file + " is not a registry file"), std::string::npos)
            << args[0] << ": " << r.err;
    }
    EXPECT_EQ(ReadFile(file), binary) << "not a byte appended";

    fs::remove(file);
    fs::create_directories(file);
    const Result folder = Profile({"list"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_NE(folder.err.find("registry file " + file + " is a folder, not a file"), std::string::npos) << folder.err;
    fs::remove(file);
}
