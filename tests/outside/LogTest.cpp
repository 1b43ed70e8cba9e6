#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <qel/outside/GeneralLib.h>
#include <qel/outside/Log.h>
#include <qel/platform/Diagnostics.h>

#include "support/Sandbox.h"

namespace fs = std::filesystem;
using qel::test::Sandbox;

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    qel::outside::ResetLog();  // flushes what is buffered
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

const std::regex kTime(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");

}  // namespace

TEST(LogTest, ErrorAndCheckRecordsCarryEveryField) {
    WriteLogError(7015, "DatabaseObj", 123, "2026-12-06 19:00:00");
    WriteLogCheck("DatabaseCallbackWnd", 456, "2026-12-06 19:00:00");
    const std::string path = qel::outside::LogFilePath();
    EXPECT_EQ(path, Sandbox::Current().Path("logs/qeldb.log"));
    const auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_search(
        lines[0], std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ERROR pid=\d+ code=7015 module=DatabaseObj )"
                             R"(line=123 build=2026-12-06 19:00:00$)")))
        << lines[0];
    EXPECT_TRUE(std::regex_search(lines[1], std::regex(R"( CHECK pid=\d+ code=- module=DatabaseCallbackWnd )"
                                                       R"(line=456 build=2026-12-06 19:00:00$)")))
        << lines[1];
    EXPECT_TRUE(std::regex_search(lines[1], kTime));
}

TEST(LogTest, OddArgumentsStayOneParsableLine) {
    WriteLogError(-1, nullptr, 0, nullptr);
    WriteLogCheck("Database Obj", 7, "2026\n12");
    qel::outside::LogWarning("first\nsecond");
    const auto lines = ReadLines(qel::outside::LogFilePath());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("ERROR pid="), std::string::npos);
    EXPECT_NE(lines[0].find(" code=-1 module=? line=0 build=?"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" module=Database_Obj line=7 build=2026\\n12"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(" WARNING pid="), std::string::npos);
    EXPECT_NE(lines[2].find(" text=first\\nsecond"), std::string::npos) << lines[2];
}

TEST(LogTest, LocationFollowsTheEnvironment) {
    const std::string file = Sandbox::Current().Path("elsewhere/deep/custom.log");
    ::setenv("QEL_LOG_FILE", file.c_str(), 1);
    qel::outside::ResetLog();
    EXPECT_EQ(qel::outside::LogFilePath(), file);
    WriteLogError(1, "DatabaseObj", 1, "b");
    EXPECT_EQ(ReadLines(file).size(), 1u);  // folders are created

    ::unsetenv("QEL_LOG_FILE");
    ::unsetenv("QEL_LOG_DIR");
    qel::outside::ResetLog();
    EXPECT_EQ(qel::outside::LogFilePath(), Sandbox::Current().Path("state/talveni/qeldb.log"));

    ::setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: ignored
    ::setenv("HOME", Sandbox::Current().Path("home").c_str(), 1);
    qel::outside::ResetLog();
    EXPECT_EQ(qel::outside::LogFilePath(), Sandbox::Current().Path("home/.local/state/talveni/qeldb.log"));
    WriteLogCheck("DatabaseObj", 2, "b");
    EXPECT_EQ(ReadLines(qel::outside::LogFilePath()).size(), 1u);
}

TEST(LogTest, UnwritableLocationFallsBackToStandardErrorOnce) {
    const std::string blocker = Sandbox::Current().Path("not-a-folder");
    std::ofstream(blocker) << "x";
    ::setenv("QEL_LOG_FILE", (blocker + "/qeldb.log").c_str(), 1);
    qel::outside::ResetLog();
    testing::internal::CaptureStderr();
    WriteLogError(30, "DatabaseObj", 10, "b");
    WriteLogError(31, "DatabaseObj", 11, "b");
    qel::outside::LogInfo("still alive");
    qel::outside::ResetLog();
    const std::string err = testing::internal::GetCapturedStderr();
    std::size_t notices = 0;
    for (std::size_t at = err.find("cannot write the log file"); at != std::string::npos;
         at = err.find("cannot write the log file", at + 1)) {
        ++notices;
    }
    EXPECT_EQ(notices, 1u) << err;
    EXPECT_NE(err.find("code=30 module=DatabaseObj"), std::string::npos) << err;
    EXPECT_NE(err.find("code=31 module=DatabaseObj"), std::string::npos) << err;
    EXPECT_NE(err.find("text=still alive"), std::string::npos) << err;
}

TEST(LogTest, InitialisationMakesTheLogTheDiagnosticSink) {
    EXPECT_EQ(GeneralLibDLLInit(), TRUE);
    EXPECT_EQ(GeneralLibDLLInit(), TRUE);
    qel::platform::ReportDiagnostic(qel::platform::Severity::Warning, "registry line 3 cannot be parsed");
    qel::platform::ReportDiagnostic(qel::platform::Severity::Error, "broken");
    qel::platform::ReportDiagnostic(qel::platform::Severity::Info, "headless message box");
    const auto lines = ReadLines(qel::outside::LogFilePath());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("WARNING pid="), std::string::npos);
    EXPECT_NE(lines[1].find("ERROR pid="), std::string::npos);
    EXPECT_NE(lines[2].find("INFO pid="), std::string::npos);
}

TEST(LogTest, ConcurrentWritersKeepWholeLines) {
    constexpr int kThreads = 4;
    constexpr int kRecords = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i) {
                WriteLogError(t, "DatabaseObj", i, "b");
                if (i == kRecords / 2 && t == 0) qel::outside::ResetLog();  // reopening mid-stream
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const auto lines = ReadLines(qel::outside::LogFilePath());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kRecords));
    const std::regex whole(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ERROR pid=\d+ code=[0-3] module=DatabaseObj line=\d+ build=b$)");
    for (const auto& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

TEST(LogTest, FailureCauseIsTheThreadsLastWarningUntilForgotten) {
    using namespace qel::outside;
    ForgetFailureCause();
    LogInfo("an info record is no cause");
    EXPECT_EQ(LastFailureCause(), "");
    LogWarning("first warning");
    qel::platform::ReportDiagnostic(qel::platform::Severity::Error, "registry file /x is a folder, not a file");
    EXPECT_EQ(LastFailureCause(), "registry file /x is a folder, not a file");
    WriteLogCheck("DatabaseObj", 1, "build");
    EXPECT_EQ(LastFailureCause(), "registry file /x is a folder, not a file") << "a check record keeps it";

    // Another thread's causes stay on that thread.
    std::string seenThere;
    std::thread([&] {
        seenThere = LastFailureCause();
        LogWarning("the other thread's cause");
    }).join();
    EXPECT_EQ(seenThere, "");
    EXPECT_EQ(LastFailureCause(), "registry file /x is a folder, not a file");

    // What a clean-up logs under a keeper is not the cause.
    {
        const FailureCauseKeeper keeper;
        LogWarning("data source not removed during the clean-up");
    }
    EXPECT_EQ(LastFailureCause(), "registry file /x is a folder, not a file");

    ForgetFailureCause();
    EXPECT_EQ(LastFailureCause(), "");
}
