// The exit codes every qeldb command shares, so that a script can tell a
// mistyped command line from a database that is not there:
//
//   return opened.Open(options, "info") ? Work() : opened.FailureExitCode();
//
// docs/cli.md lists them for users.
#pragma once

namespace exit_code {

constexpr int kOk = 0;
// The operation failed: input refused, a file unreadable, a step refused.
constexpr int kFailed = 1;
// The command line is wrong: no or an unknown command, a missing, unknown
// or conflicting option.
constexpr int kUsage = 2;
// The database could not be opened, or failed while it was read or written.
constexpr int kDatabase = 3;

}  // namespace exit_code
