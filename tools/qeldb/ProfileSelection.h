// Which database a qeldb command works on: a stored profile (`--profile N`)
// or a temporary one made from `--data-source NAME --path FILE`, where the
// SQLite file is created when it does not exist yet.
//
//   ProfileOptions options;
//   AddProfileOptions(*command, options);
//   ...
//   OpenedDatabase opened;
//   if (!opened.Open(options, "patients list")) return opened.FailureExitCode();
//   opened.Db().GetPatientCount(&count);
//
// OpenedDatabase closes the database when it goes, whatever happened.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include <qel/database/DatabaseObj.h>

struct ProfileOptions {
    std::optional<LONG> profile;
    std::string dataSource;
    std::string path;
};

// Adds --profile, --data-source and --path to a command.
void AddProfileOptions(CLI::App& command, ProfileOptions& options);

// Empty when the options name exactly one database; otherwise why not.
std::string CheckProfileOptions(const ProfileOptions& options);

class OpenedDatabase {
public:
    OpenedDatabase() = default;
    ~OpenedDatabase();
    OpenedDatabase(const OpenedDatabase&) = delete;
    OpenedDatabase& operator=(const OpenedDatabase&) = delete;

    // Loads or prepares the profile and opens it. On failure prints
    // "qeldb <command>: ..." with the step, the code, its meaning and the
    // cause on stderr (PrintFailure).
    bool Open(const ProfileOptions& options, const std::string& command);
    // After a failed Open: exit_code::kUsage when the options were wrong,
    // exit_code::kDatabase when the profile could not be loaded or opened.
    int FailureExitCode() const { return m_failureExitCode; }

    CDatabaseObj& Db() { return m_db; }

private:
    CDatabaseObj m_db;
    int m_failureExitCode = 0;
};

// "what failed (lErrorCode N: meaning)" plus the object's error text when it
// has one (FailureSummary).
std::string DescribeFailure(CDatabaseObj& db, const std::string& what);
