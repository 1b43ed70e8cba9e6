// Writing and reading the client/server engine's user data source through
// the installer loader, and what re-registration after a failed connection
// leaves of it.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/DataSourceSetup.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/datasource/UserDataSource.h>

#include "support/Files.h"
#include "support/Sandbox.h"

using namespace qel::datasource;
using qel::test::Sandbox;

namespace {

std::string IniText() { return qel::test::ReadFile(Sandbox::Current().OdbcIni()); }

void ReplaceInIni(const std::string& from, const std::string& to) {
    std::string text = IniText();
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    qel::test::WriteFile(Sandbox::Current().OdbcIni(), text);
}

const Attributes kClinic = {
    {"Servername", "db.example"}, {"Port", "5433"}, {"Database", "clinic"}, {"Username", "quorva"},
    {"Password", "s3cret;{x}"},
};

Attributes WithDriverAndStanding(const Attributes& given) {
    Attributes expected{{"Driver", kClientServerDriver}};
    expected.insert(expected.end(), given.begin(), given.end());
    for (const auto& standing : ClientServerStandingAttributes()) expected.push_back(standing);
    return expected;
}

TEST(UserDataSource, WrittenKeysReadBackWithDriverAndStandingAttributes) {
    ASSERT_TRUE(WriteClientServerDataSource("Clinic Pg", kClinic));
    EXPECT_EQ(ReadUserDataSource("Clinic Pg"), WithDriverAndStanding(kClinic));
    EXPECT_EQ(ReadUserDataSource("Nothing here"), std::nullopt);
    struct stat info {};
    ASSERT_EQ(::stat(Sandbox::Current().OdbcIni().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a file holding a password is its owner's only";

    // Writing again replaces the data source: keys not named are gone, and a
    // standing attribute given explicitly is not doubled.
    const Attributes smaller = {{"Servername", "other"}, {"Database", "x"}, {"ByteaAsLongVarBinary", "1"}};
    ASSERT_TRUE(WriteClientServerDataSource("Clinic Pg", smaller));
    EXPECT_EQ(ReadUserDataSource("Clinic Pg"), (Attributes{{"Driver", kClientServerDriver}, {"Servername", "other"},
                                                           {"Database", "x"}, {"ByteaAsLongVarBinary", "1"}}));
}

TEST(UserDataSource, RefusedInputWritesNothing) {
    const Attributes cases[] = {
        {{"", "x"}},
        {{"Port=1", "x"}},
        {{"Password", "two\nlines"}},
        {{"Pass\rword", "x"}},
    };
    for (const auto& attributes : cases) EXPECT_FALSE(WriteClientServerDataSource("Refused", attributes));
    for (const std::string dsn : {"", "bad[name]", "a=b", "line\nbreak"})
        EXPECT_FALSE(WriteClientServerDataSource(dsn, kClinic)) << dsn;
    EXPECT_EQ(IniText().find("Servername"), std::string::npos) << IniText();

    ASSERT_TRUE(WriteClientServerDataSource("Present", kClinic));
    ::setenv("QEL_ODBCINST_LIBRARY", "/nonexistent/libodbcinst.so.2", 1);
    EXPECT_EQ(ReadUserDataSource("Present"), std::nullopt);
    EXPECT_FALSE(WriteClientServerDataSource("Absent", kClinic));
    ::unsetenv("QEL_ODBCINST_LIBRARY");
    EXPECT_EQ(ReadUserDataSource("Absent"), std::nullopt);
    EXPECT_TRUE(ReadUserDataSource("Present"));
}

TEST(UserDataSource, ReRegistrationRestoresTheDriverAndKeepsEveryOtherKey) {
    ASSERT_TRUE(WriteClientServerDataSource("Clinic Pg", kClinic));
    const auto before = ReadUserDataSource("Clinic Pg");
    ASSERT_TRUE(before);
    // A driver changed by hand (the installer may still answer from its
    // cache of the file, so the file itself is read here).
    const std::string driver = std::string("Driver=") + kClientServerDriver;
    ReplaceInIni(driver, "Driver=PostgreSQL ANSI");
    ASSERT_EQ(IniText().find(driver), std::string::npos);

    CDatabaseObj db;
    ASSERT_TRUE(db.AddNew(TRUE, FALSE));
    db.lEngine = kEngineClientServer;
    db.SetStrDataSource("Clinic Pg");
    CDataSourceSetup setup(&db);
    ASSERT_TRUE(setup.RegisterDataSourceAgain());
    EXPECT_NE(IniText().find(driver), std::string::npos) << IniText();
    EXPECT_EQ(IniText().find("PostgreSQL ANSI"), std::string::npos) << IniText();
    EXPECT_EQ(ReadUserDataSource("Clinic Pg"), before);
    // Twice in a row changes nothing either.
    ASSERT_TRUE(setup.RegisterDataSourceAgain());
    EXPECT_EQ(ReadUserDataSource("Clinic Pg"), before);
}

}  // namespace
