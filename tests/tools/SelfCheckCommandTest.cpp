// `qeldb selfcheck` run as a user runs it: besides its scratch checks it
// looks at the registry file, runtime folder, data folder and ODBC files the
// environment names, says what is wrong with each, and writes into none.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/Program.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
using qel::test::Sandbox;

namespace {

// The line of a check in the "your files" part of the output.
std::string UserLine(const std::string& out, const std::string& name) {
    const auto part = out.find("your files:");
    if (part == std::string::npos) return {};
    for (const std::string& line : qel::test::Lines(out.substr(part)))
        if (line.rfind("  " + name + " ", 0) == 0) return line;
    return {};
}

}  // namespace

TEST(SelfCheckCommand, ChecksTheUsersRealFilesWithoutWritingThem) {
    const Sandbox& sandbox = Sandbox::Current();
    const std::string registry = sandbox.RegistryFile();
    fs::remove(registry);
    const std::string data = sandbox.Path("data/not-made-yet");
    const auto passed = qel::test::RunQeldb({"selfcheck"}, {{"QEL_DATA_DIR", data}});
    EXPECT_EQ(passed.exitCode, 0) << passed.out << passed.err;
    EXPECT_NE(UserLine(passed.out, "registry file").find("ok  " + registry + " (not there yet"), std::string::npos)
        << passed.out;
    EXPECT_NE(UserLine(passed.out, "data folder").find("ok  " + data), std::string::npos) << passed.out;
    EXPECT_NE(UserLine(passed.out, "ODBC data sources").find(sandbox.OdbcIni()), std::string::npos) << passed.out;
    EXPECT_FALSE(fs::exists(registry)) << "the check made the registry file";
    EXPECT_FALSE(fs::exists(data)) << "the check made the data folder";

    // Each problem gets its line, and the exit code says something is wrong.
    const std::string plain = qel::test::WriteSandboxFile("plain.txt", "hello\n");
    const char kBinary[] = "\x7f" "ELF\x02\x01\x01\0\0\0";
    const std::string binary(kBinary, sizeof kBinary - 1);
    const std::string badRegistry = qel::test::WriteSandboxFile("program.reg", binary);
    fs::create_directories(sandbox.Path("no-drivers"));
    qel::test::WriteSandboxFile("no-drivers/odbcinst.ini", "[Other]\nDriver=/nowhere/libother.so\n");
    const std::string badIni = qel::test::WriteSandboxFile("broken.ini", "Driver=before any section\n");
    const auto failed = qel::test::RunQeldb({"selfcheck"}, {{"QEL_REGISTRY_FILE", badRegistry},
                                                             {"QEL_RUNTIME_DIR", plain},
                                                             {"QEL_DATA_DIR", plain + "/talveni"},
                                                             {"ODBCINI", badIni},
                                                             {"ODBCSYSINI", sandbox.Path("no-drivers")}});
    EXPECT_EQ(failed.exitCode, 1) << failed.out;
    const std::pair<const char*, std::string> expected[] = {
        {"registry file", "FAILED: registry file " + badRegistry + " is not a registry file"},
        {"runtime folder", "FAILED: " + plain + " is a file, not a folder"},
        {"data folder", "FAILED: " + plain + " is a file, not a folder (so " + plain + "/talveni cannot be made)"},
        {"ODBC data sources", "FAILED: " + badIni + " line 1 cannot be parsed"},
        {"ODBC driver list", "FAILED: the SQLite3 driver is not registered in " + sandbox.Path("no-drivers/odbcinst.ini")},
    };
    for (const auto& [name, text] : expected)
        EXPECT_NE(UserLine(failed.out, name).find(text), std::string::npos) << name << "\n" << failed.out;
    EXPECT_EQ(qel::test::ReadFile(badRegistry), binary);
    EXPECT_EQ(qel::test::ReadFile(badIni), "Driver=before any section\n");
}
