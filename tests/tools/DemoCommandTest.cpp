// `qeldb demo` run twice in a row, without input, in the test's data folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/Sandbox.h"
#include "support/Program.h"

using ::testing::HasSubstr;

namespace qel::test {
namespace {

// The lines of the summary that must not change between runs.
std::vector<std::string> StableLines(const std::string& out) {
    std::vector<std::string> kept;
    for (const std::string& line : Lines(out))
        if (line.find("(created now)") == std::string::npos && line.find("(reused)") == std::string::npos &&
            line.find("added now") == std::string::npos)
            kept.push_back(line);
    return kept;
}

TEST(DemoCommandTest, SecondRunReusesTheDatabaseAndAddsNothing) {
    ::setenv("CI", "true", 1);
    const std::string db = Sandbox::Current().Path("data/demo.db");

    const ProgramResult first = RunQeldb({"demo"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_THAT(first.err, HasSubstr("Creating the database " + db));
    EXPECT_THAT(first.err, HasSubstr("Adding 36 sample patients"));
    EXPECT_THAT(first.out, HasSubstr(db + " (created now)"));
    EXPECT_THAT(first.out, HasSubstr("patients             36 (36 added now)"));
    EXPECT_THAT(first.out, HasSubstr("doctors              1\n"));
    // Six names begin with RO (Barone only contains it), in name order.
    EXPECT_THAT(first.out, HasSubstr("Name search \"RO\" (begins with): 6 found\n"
                                     "  Romano Luca          QD-0003\n"
                                     "  Ronchi Paola         QD-0004\n"
                                     "  Rossetti Andrea      QD-0005\n"
                                     "  Rossi Giulia         QD-0002\n"
                                     "  Rossi Mario          QD-0001\n"
                                     "  Rota Chiara          QD-0006\n"));
    EXPECT_THAT(first.out, HasSubstr("Number search \"QD-0007\": 1 found\n  Barone Stefano       QD-0007\n"));
    EXPECT_THAT(first.out, HasSubstr("(key 1): 24 patients"));
    const std::string parameters = ReadFile(Sandbox::Current().Path("data/demo-parameters.ini"));
    EXPECT_THAT(parameters, HasSubstr("MediaNameFormat = %Y%m%d_%i\n"));
    EXPECT_THAT(first.out, HasSubstr("media name format    %Y%m%d_%i\n"));
    EXPECT_THAT(first.out, HasSubstr("registry file        " + Sandbox::Current().RegistryFile()));

    const ProgramResult second = RunQeldb({"demo"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_THAT(second.err, HasSubstr("Opening the database " + db));
    EXPECT_THAT(second.err, HasSubstr("nothing added"));
    EXPECT_THAT(second.out, HasSubstr("patients             36 (0 added now)"));
    EXPECT_THAT(second.out, HasSubstr(db + " (reused)"));
    EXPECT_EQ(StableLines(second.out), StableLines(first.out));
}

TEST(DemoCommandTest, AnUnusableDataFolderFailsWithOneMessage) {
    const std::string blocker = WriteSandboxFile("not-a-folder", "x");
    ::setenv("QEL_DATA_DIR", (blocker + "/inside").c_str(), 1);
    const ProgramResult run = RunQeldb({"demo"});
    EXPECT_EQ(run.exitCode, 1) << "a folder problem, not a usage error or a database failure";
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_THAT(run.err, HasSubstr("qeldb demo: cannot create the data folder " + blocker + "/inside"));
}

}  // namespace
}  // namespace qel::test
