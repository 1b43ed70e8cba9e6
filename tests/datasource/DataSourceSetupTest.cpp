// The data source setup against the real unixODBC installer and the SQLite3
// driver; the sandbox points $ODBCINI at a file of its own, which the tests
// read back as text.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/DataSourceName.h>
#include <qel/datasource/DataSourceSetup.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Statement.h>

#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Engines.h"

namespace fs = std::filesystem;
using qel::test::Sandbox;
using namespace qel::datasource;

namespace {

using Section = qel::test::IniSection;

// The user data sources as the installer left them in $ODBCINI.
qel::test::IniSections ReadIni() { return qel::test::ReadIni(Sandbox::Current().OdbcIni()); }

void AppendIni(const std::string& text) { std::ofstream(Sandbox::Current().OdbcIni(), std::ios::app) << text; }

int CountRows(const std::string& connect) {
    CDatabase database;
    database.OpenEx(connect.c_str());
    qel::odbc::Statement count(database);
    count.Prepare("SELECT COUNT(*) FROM TST200");
    count.Execute();
    return count.Fetch() ? count.GetInt32(1).value_or(-1) : -1;
}

class DataSourceSetupTest : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("QEL_ODBCINST_LIBRARY"); }

    void Profile(const std::string& dsn, const std::string& path) {
        ASSERT_TRUE(m_db.AddNew(TRUE, FALSE));
        m_db.SetStrDataSource(dsn.c_str());
        m_db.SetStrDirectory(path.c_str());
    }

    CDatabaseObj m_db;
    CDataSourceSetup m_setup{&m_db};
};

TEST_F(DataSourceSetupTest, PrepareCreatesFoldersDatabaseAndADataSourceThatReachesTheFile) {
    const std::string top = Sandbox::Current().Path("Praxis Müller");
    const std::string path = top + "/Röntgen 2024/診療所/clinic db.sqlite";
    Profile("Quorva Prüf 1", path);
    ASSERT_EQ(m_db.lEngine, kEngineFile);
    ASSERT_TRUE(m_setup.PrepareDataSource());

    EXPECT_TRUE(fs::is_directory(top + "/Röntgen 2024/診療所") && fs::is_regular_file(path));
    Section dsn = ReadIni()["Quorva Prüf 1"];
    EXPECT_EQ(dsn["Driver"], kFileDriver);
    EXPECT_EQ(dsn["Database"], path);
    for (const auto& [name, value] : FileEngineStandingAttributes()) EXPECT_EQ(dsn[name], value) << name;

    CDatabase connection;
    ASSERT_TRUE(connection.Open(nullptr, FALSE, FALSE, "ODBC;DSN=Quorva Prüf 1"));
    connection.ExecuteSQL("CREATE TABLE TST200 (TSTKEY integer)");
    connection.ExecuteSQL("INSERT INTO TST200 VALUES (1)");
    connection.Close();
    EXPECT_EQ(CountRows(FileEngineConnectString(path)), 1);

    // Removal takes only this data source; preparing again keeps the database.
    AppendIni("[Other]\nDriver=SQLite3\nDatabase=/srv/other.db\n");
    EXPECT_TRUE(m_setup.RemoveDataSource());
    auto ini = ReadIni();
    EXPECT_FALSE(ini.contains("Quorva Prüf 1"));
    EXPECT_EQ(ini["Other"]["Database"], "/srv/other.db");
    ASSERT_TRUE(m_setup.PrepareDataSource());
    EXPECT_EQ(CountRows("DSN=Quorva Prüf 1"), 1);
}

TEST_F(DataSourceSetupTest, RelativePathsCreateOnlyTheirOwnFolders) {
    const fs::path previous = fs::current_path();
    const fs::path work = Sandbox::Current().Path("relative");
    fs::create_directories(work);
    fs::current_path(work);
    Profile("Relative", "plain.db");
    EXPECT_TRUE(m_setup.PrepareDataSource());
    m_db.SetStrDirectory("rel dir/inner/x.db");
    EXPECT_TRUE(m_setup.PrepareDataSource());
    fs::current_path(previous);

    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(work)) entries.insert(fs::relative(entry, work));
    EXPECT_EQ(entries, (std::set<std::string>{"plain.db", "rel dir", "rel dir/inner", "rel dir/inner/x.db"}));
}

TEST_F(DataSourceSetupTest, FailuresWriteNoDataSource) {
    // A name the driver manager refuses fails before anything is written,
    // with an existing database file as with a new one.
    const std::string existing = Sandbox::Current().Path("existing.db");
    std::ofstream{existing};
    Profile("bad[name]", existing);
    EXPECT_FALSE(m_setup.RegisterDataSourceAgain());
    EXPECT_FALSE(m_setup.PrepareDataSource());
    m_db.SetStrDirectory(Sandbox::Current().Path("fresh/fresh.db").c_str());
    EXPECT_FALSE(m_setup.PrepareDataSource());
    EXPECT_FALSE(fs::exists(Sandbox::Current().Path("fresh")));
    m_db.lEngine = kEngineClientServer;
    EXPECT_FALSE(m_setup.PrepareDataSource());
    EXPECT_FALSE(m_setup.RegisterDataSourceAgain());
    m_db.lEngine = kEngineFile;

    // A folder that cannot be made, no path, a path too long for the list.
    const std::string blocked = existing + "/sub/db.sqlite";
    for (const std::string& path : {blocked, std::string(), Sandbox::Current().Path(std::string(1100, 'x'))}) {
        Profile("Unusable", path);
        EXPECT_FALSE(m_setup.PrepareDataSource()) << path.substr(0, 80);
        // Never a data source without its database path (an in-memory database).
        EXPECT_EQ(m_setup.RegisterDataSourceAgain(), path == blocked);
        EXPECT_TRUE(m_setup.RemoveDataSource());
    }
    const auto ini = ReadIni();
    EXPECT_FALSE(ini.contains("bad[name]") || ini.contains("Unusable"));
}

TEST(DataSourceName, TheDriverManagersRules) {
    for (const std::string& name : {std::string("Studio S\u00e0la #1 - 'old'"), std::string(32, 'x')})
        EXPECT_EQ(DataSourceNameProblem(name), "") << name;
    for (const char c : std::string("[]{}(),;?*=!@\\"))
        EXPECT_THAT(DataSourceNameProblem(std::string("A") + c + "B"),
                    ::testing::HasSubstr("holds '" + std::string(1, c)));
    EXPECT_EQ(DataSourceNameProblem(std::string(45, 'y')),
              "data source name \"" + std::string(40, 'y') + "...\" is 45 bytes long; ODBC takes at most 32");
}

// What a failed open calls: the data source, file and folders the preparation
// made go; what was there before stays.
TEST_F(DataSourceSetupTest, UndoTakesBackWhatThePreparationCreated) {
    const std::string top = Sandbox::Current().Path("undo");
    Profile("QelUndo", top + "/a/b/clinic.db");
    PreparedDataSource created;
    ASSERT_TRUE(m_setup.PrepareDataSource(&created));
    EXPECT_FALSE(created.dataSourceExisted);
    EXPECT_EQ(created.createdFile, top + "/a/b/clinic.db");
    EXPECT_EQ(created.createdFolders, (std::vector<std::string>{top, top + "/a", top + "/a/b"}));
    std::ofstream(top + "/a/b/clinic.db-wal") << "side file";
    m_setup.UndoPreparation(created);
    EXPECT_FALSE(fs::exists(top));
    EXPECT_FALSE(ReadIni().contains("QelUndo"));

    // An existing file and data source: prepared again, undone, both kept.
    const std::string existing = Sandbox::Current().Path("kept.db");
    std::ofstream{existing};
    Profile("QelKept", existing);
    ASSERT_TRUE(m_setup.PrepareDataSource());
    ASSERT_TRUE(m_setup.PrepareDataSource(&created));
    EXPECT_TRUE(created.dataSourceExisted);
    EXPECT_TRUE(created.createdFile.empty() && created.createdFolders.empty());
    m_setup.UndoPreparation(created);
    EXPECT_TRUE(fs::exists(existing));
    EXPECT_EQ(ReadIni()["QelKept"]["Database"], existing);
}

TEST_F(DataSourceSetupTest, OtherEnginesLeaveTheFileAndTheDataSourceAlone) {
    Profile("Engine7", Sandbox::Current().Path("engine 7/db.sqlite"));
    m_db.lEngine = 7;
    EXPECT_TRUE(m_setup.PrepareDataSource() && m_setup.RegisterDataSourceAgain() && m_setup.RemoveDataSource());
    EXPECT_FALSE(fs::exists(Sandbox::Current().Path("engine 7")) || ReadIni().contains("Engine7"));

    // The client/server engine: re-registration keeps server, port and database.
    auto pg = qel::test::ScratchDatabase::Create(kEngineClientServer, "dsn");
    const auto server = pg ? *qel::test::Postgres() : qel::test::PostgresServer{"db.example", "5432", "postgres"};
    AppendIni("[Pg]\nDriver=PostgreSQL ANSI\nServername=" + server.host + "\nPort=" + server.port + "\nDatabase=" +
              (pg ? pg->Location() : "clinic") + "\nUsername=" + server.user + "\nByteaAsLongVarBinary=1\n");
    const Section before = ReadIni()["Pg"];
    m_db.lEngine = kEngineClientServer;
    m_db.strDataSource = "Pg";
    EXPECT_TRUE(m_setup.PrepareDataSource());
    EXPECT_EQ(ReadIni()["Pg"], before);

    ASSERT_TRUE(m_setup.RegisterDataSourceAgain());
    Section expected = before;
    expected["Driver"] = kClientServerDriver;
    EXPECT_EQ(ReadIni()["Pg"], expected);
    if (pg) {
        CDatabase connection;
        EXPECT_TRUE(connection.Open(nullptr, FALSE, FALSE, "ODBC;DSN=Pg"));
    }

    m_db.strDataSource = "PgNew";
    ASSERT_TRUE(m_setup.RegisterDataSourceAgain());
    EXPECT_EQ(ReadIni()["PgNew"], (Section{{"Driver", kClientServerDriver}}));
    EXPECT_TRUE(m_setup.RemoveDataSource());
    EXPECT_FALSE(ReadIni().contains("PgNew"));
}

TEST_F(DataSourceSetupTest, WithoutTheInstallerOnlyAnExistingFilePrepares) {
    const std::string existing = Sandbox::Current().Path("present.db");
    std::ofstream{existing};
    const std::string missing = Sandbox::Current().Path("absent.db");
    // No library at all, and a library without the installer's functions.
    for (const char* library : {"/nonexistent/libodbcinst.so.2", "libm.so.6"}) {
        ::setenv("QEL_ODBCINST_LIBRARY", library, 1);
        Profile("NoInstaller", missing);
        EXPECT_FALSE(m_setup.PrepareDataSource()) << library;
        EXPECT_FALSE(fs::exists(missing));
        EXPECT_FALSE(m_setup.RemoveDataSource());
        m_db.SetStrDirectory(existing.c_str());
        EXPECT_TRUE(m_setup.PrepareDataSource());
        EXPECT_FALSE(m_setup.RegisterDataSourceAgain());
        EXPECT_FALSE(ReadIni().contains("NoInstaller"));
    }
    ::unsetenv("QEL_ODBCINST_LIBRARY");
    m_db.SetStrDirectory(missing.c_str());
    EXPECT_TRUE(m_setup.PrepareDataSource());
    EXPECT_TRUE(ReadIni().contains("NoInstaller"));
}

}  // namespace
