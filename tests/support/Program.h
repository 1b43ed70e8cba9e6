// Runs the qeldb program as a separate process inside the current test's
// sandbox (the child inherits the sandbox's environment), with standard
// input from a file and its output captured.
//
//   auto r = qel::test::RunQeldb({"script", "--json", file});
//   EXPECT_EQ(r.exitCode, 0) << r.err;
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/Files.h"

namespace qel::test {

struct ProgramResult {
    int exitCode = -1;  // -1 when it could not be started or did not exit normally
    std::string out;
    std::string err;
};

// `environment` overrides (a value) or removes (nullopt) variables for the
// child; standard input is `input` (default /dev/null).
ProgramResult RunQeldb(const std::vector<std::string>& args,
                       const std::map<std::string, std::optional<std::string>>& environment = {},
                       const std::string& input = "/dev/null");

// Writes a file into the sandbox and returns its path.
std::string WriteSandboxFile(const std::string& name, const std::string& content);
std::vector<std::string> Lines(const std::string& text);

}  // namespace qel::test
