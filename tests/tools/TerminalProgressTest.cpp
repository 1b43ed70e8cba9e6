// The phases of an import show their progress when stderr is a terminal
// (here a pseudo-terminal) and stay quiet in a pipe or file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/Program.h"
#include "support/Sandbox.h"

extern char** environ;

using ::testing::HasSubstr;
using ::testing::Not;

namespace qel::test {
namespace {

// Runs qeldb with stderr on a pseudo-terminal; answers what it wrote there.
std::string RunAtTerminal(const std::vector<std::string>& args, int* exitCode) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    std::vector<std::string> argv{BinaryPath("bin/qeldb")};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argvPtrs;
    for (auto& arg : argv) argvPtrs.push_back(arg.data());
    argvPtrs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, master);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argvPtrs[0], &actions, nullptr, argvPtrs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    std::string out;
    if (spawned == 0) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) out.append(buffer, static_cast<size_t>(n));
            else if (n < 0 && errno == EINTR) continue;
            else break;  // EIO once the child closed the terminal
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(master);
    return out;
}

TEST(TerminalProgress, OpenCheckWriteAndCommitShowProgressAtATerminalOnly) {
    std::string rows = "name,kanji_name,number,birth_date,sex,doctor\n";
    for (int i = 0; i < 300; ++i) rows += "Patient " + std::to_string(i) + ",,,,,\n";
    const std::string file = WriteSandboxFile("terminal.csv", rows);
    const std::string db = Sandbox::Current().Path("terminal/clinic.db");
    // Every phase counts as long here, so a quick import shows them all.
    ::setenv("QEL_PROGRESS_AFTER_MS", "0", 1);
    int exitCode = -1;
    const std::string shown =
        RunAtTerminal({"patients", "import", file, "--data-source", "QelTerm", "--path", db}, &exitCode);
    EXPECT_EQ(exitCode, 0) << shown;
    EXPECT_THAT(shown, HasSubstr("opening the database … done in "));
    EXPECT_THAT(shown, HasSubstr("checking the rows against the database … done in "));
    EXPECT_THAT(shown, HasSubstr("writing patients ["));
    EXPECT_THAT(shown, HasSubstr("(300 of 300)"));
    EXPECT_THAT(shown, HasSubstr("committing … done in "));

    const ProgramResult piped = RunQeldb({"patients", "list", "--data-source", "QelTerm", "--path", db});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_THAT(piped.err, Not(HasSubstr("opening the database")));
    ::unsetenv("QEL_PROGRESS_AFTER_MS");
}

}  // namespace
}  // namespace qel::test
