// Runs the built qeldb program as a child process of a test: it inherits the
// test's sandbox through the environment, reads no input (stdin is
// /dev/null), and its exit code, stdout and stderr come back as text.
#pragma once

#include <string>
#include <vector>

namespace qel::test {

struct ProgramResult {
    int exitCode = -1;  // -1 when the program could not run or did not exit normally
    std::string out;
    std::string err;
};

ProgramResult RunQeldb(const std::vector<std::string>& args);

// Writes a file into the sandbox and returns its path.
std::string WriteSandboxFile(const std::string& name, const std::string& content);
std::string ReadFile(const std::string& path);
std::vector<std::string> Lines(const std::string& text);

}  // namespace qel::test
