#include "support/Program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "support/Sandbox.h"

extern char** environ;

namespace qel::test {

ProgramResult RunQeldb(const std::vector<std::string>& args,
                       const std::map<std::string, std::optional<std::string>>& environment,
                       const std::string& input) {
    static std::atomic<int> runs = 0;  // runs may start from several threads
    const std::string out = Sandbox::Current().Path("qeldb-" + std::to_string(++runs) + ".out");
    const std::string err = out + ".err";

    std::vector<std::string> argv{BinaryPath("bin/qeldb")};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (!environment.contains(text.substr(0, text.find('=')))) env.push_back(text);
    }
    for (const auto& [name, value] : environment)
        if (value) env.push_back(name + "=" + *value);

    std::vector<char*> argvPtrs, envPtrs;
    for (auto& text : argv) argvPtrs.push_back(text.data());
    for (auto& text : env) envPtrs.push_back(text.data());
    argvPtrs.push_back(nullptr);
    envPtrs.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ProgramResult result;
    const int spawned = posix_spawn(&pid, argvPtrs[0], &actions, nullptr, argvPtrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

std::string WriteSandboxFile(const std::string& name, const std::string& content) {
    const std::string path = Sandbox::Current().Path(name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace qel::test
