// What the qeldb program says when the database cannot be opened: the code,
// its meaning, the cause the component logged and where the log is, for the
// failures people meet (a runtime folder that is a file, a registry path that
// is a folder, a file that is not a database, a folder that cannot hold the
// file, a missing SQLite driver).

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Program.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
using qel::test::Sandbox;

namespace {

struct Case {
    const char* what;
    std::map<std::string, std::optional<std::string>> environment;
    std::string path;  // the database file of the temporary profile
    std::string summary;
    std::string cause;
};

}  // namespace

TEST(FailureReport, OpenFailuresNameTheCodeItsMeaningTheCauseAndTheLog) {
    const Sandbox& sandbox = Sandbox::Current();
    const std::string plainFile = qel::test::WriteSandboxFile("plain.txt", "hello\n");
    const std::string textDb = qel::test::WriteSandboxFile("notes.db", "these are notes, not a database\n");
    const std::string registryFolder = sandbox.Path("registry-folder");
    fs::create_directories(registryFolder);
    const std::string noDrivers = sandbox.Path("no-drivers");
    fs::create_directories(noDrivers);
    qel::test::WriteSandboxFile("no-drivers/odbcinst.ini", "");
    const std::string junkIni = qel::test::WriteSandboxFile("junk.ini", std::string("[A]\nDriver=x\n\0\x01", 15));

    const std::vector<Case> cases = {
        {"runtime folder is a file", {{"QEL_RUNTIME_DIR", plainFile}}, sandbox.Path("a.db"),
         "(lErrorCode 7014: the named mutex of the profile cannot be created)",
         "the mutex folder " + plainFile + " is not a folder"},
        {"registry path is a folder", {{"QEL_REGISTRY_FILE", registryFolder}}, sandbox.Path("b.db"),
         "(lErrorCode 10: a required step failed",
         "registry file " + registryFolder + " is a folder, not a file; nothing is written"},
        {"text file as the database", {}, textDb,
         "(lErrorCode 7060: creating or upgrading the database's tables failed)", "file is not a database"},
        {"folder cannot hold the file", {}, plainFile + "/c.db",
         "(lErrorCode 7020: preparing the ODBC data source failed)",
         "database file " + plainFile + "/c.db not created: Not a directory"},
        {"SQLite driver missing", {{"ODBCSYSINI", noDrivers}}, sandbox.Path("d.db"),
         "(lErrorCode 7020: preparing the ODBC data source failed)", "Can't open lib 'SQLite3'"},
        // The clean-up's own complaints about the file do not hide why the open failed.
        {"data source file is not an ini file", {{"ODBCINI", junkIni}}, sandbox.Path("e.db"),
         "(lErrorCode 7020: preparing the ODBC data source failed)",
         "not written: ODBC data source file " + junkIni + " is not written over: it holds a zero byte"},
    };
    int number = 0;
    for (const Case& c : cases) {
        const auto r = qel::test::RunQeldb(
            {"patients", "list", "--data-source", "QelFailure" + std::to_string(++number), "--path", c.path},
            c.environment);
        EXPECT_EQ(r.exitCode, 3) << c.what << "\n" << r.err;
        const auto lines = qel::test::Lines(r.err);
        ASSERT_EQ(lines.size(), 3u) << c.what << "\n" << r.err;
        EXPECT_EQ(lines[0].rfind("qeldb patients list: cannot open the database " + c.path + " ", 0), 0u)
            << c.what << "\n" << r.err;
        EXPECT_NE(lines[0].find(c.summary), std::string::npos) << c.what << "\n" << r.err;
        EXPECT_EQ(lines[1].rfind("  cause: ", 0), 0u) << c.what << "\n" << r.err;
        EXPECT_NE(lines[1].find(c.cause), std::string::npos) << c.what << "\n" << r.err;
        EXPECT_EQ(lines[2], "  log: " + sandbox.Path("logs/qeldb.log")) << c.what;
    }
}

TEST(FailureReport, AFailureWithoutALoggedCauseSaysSoByLeavingTheCauseOut) {
    // A stored profile that does not exist: the code says it all.
    const auto r = qel::test::RunQeldb({"patients", "list", "--profile", "41"});
    EXPECT_EQ(r.exitCode, 3);
    const auto lines = qel::test::Lines(r.err);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    EXPECT_EQ(lines[0], "qeldb patients list: cannot load profile 41 (lErrorCode 7010: the stored profile does not "
                        "exist or lacks its flags, data source or path)");
    EXPECT_EQ(lines[1], "  log: " + Sandbox::Current().Path("logs/qeldb.log"));
    // The log it names holds the report.
    std::ifstream log(Sandbox::Current().Path("logs/qeldb.log"));
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("qeldb: " + lines[0]), std::string::npos) << text;
}

TEST(FailureReport, ARegistryWriteThatFailsSaysWhy) {
    // The file itself is fine, but its lock cannot be taken.
    const std::string registry = Sandbox::Current().Path("locked.reg");
    fs::create_directories(registry + ".lock");
    const std::map<std::string, std::optional<std::string>> environment = {{"QEL_REGISTRY_FILE", registry}};
    const std::string cause = "registry file " + registry + ": cannot open the lock file: Is a directory";

    const auto reg = qel::test::RunQeldb({"register"}, environment);
    EXPECT_EQ(reg.exitCode, 1);
    const auto lines = qel::test::Lines(reg.err);
    ASSERT_EQ(lines.size(), 3u) << reg.err;
    EXPECT_EQ(lines[0], "qeldb register: the registry file " + registry + " could not be written");
    EXPECT_EQ(lines[1], "  cause: " + cause);
    EXPECT_EQ(lines[2], "  log: " + Sandbox::Current().Path("logs/qeldb.log"));

    const auto set = qel::test::RunQeldb({"profile", "set", "3", "--data-source", "QelLocked", "--path", "/srv/a.db"},
                                         environment);
    EXPECT_EQ(set.exitCode, 1);
    EXPECT_NE(set.err.find("cannot write profile 3 to " + registry + ": " + cause), std::string::npos) << set.err;
    EXPECT_FALSE(fs::exists(registry));
}
