#include "tools/qeldb/ProfileSelection.h"

#include <filesystem>

#include <fmt/core.h>

#include "tools/qeldb/ExitCodes.h"
#include "tools/qeldb/Failure.h"
#include "tools/qeldb/Progress.h"

namespace fs = std::filesystem;

void AddProfileOptions(CLI::App& command, ProfileOptions& options) {
    command.add_option("--profile", options.profile, "Number N of a stored profile (DatabaseJ<N> in the registry)");
    command.add_option("--data-source", options.dataSource,
                       "ODBC data source name of a temporary profile (with --path)");
    command.add_option("--path", options.path, "SQLite file of a temporary profile, created when new (with --data-source)");
}

std::string CheckProfileOptions(const ProfileOptions& options) {
    const bool temporary = !options.dataSource.empty() || !options.path.empty();
    if (options.profile && temporary) return "--profile cannot be combined with --data-source or --path";
    if (options.profile) return *options.profile >= 0 ? "" : "--profile takes a number of 0 or more";
    if (!temporary) return "choose a database: --profile N, or --data-source NAME --path FILE";
    if (options.dataSource.empty()) return "--path needs --data-source NAME as well";
    if (options.path.empty()) return "--data-source needs --path FILE as well";
    return {};
}

std::string DescribeFailure(CDatabaseObj& db, const std::string& what) { return FailureSummary(db, what); }

OpenedDatabase::~OpenedDatabase() {
    if (m_db.bIsOpen) m_db.Close();
}

bool OpenedDatabase::Open(const ProfileOptions& options, const std::string& command) {
    const auto fail = [&](const std::string& what) {
        PrintFailure(stderr, fmt::format("qeldb {}: {}", command, what), m_db);
        m_failureExitCode = exit_code::kDatabase;
        return false;
    };
    if (const std::string why = CheckProfileOptions(options); !why.empty()) {
        fmt::print(stderr, "qeldb {}: {}\n", command, why);
        m_failureExitCode = exit_code::kUsage;
        return false;
    }
    if (options.profile) {
        if (!m_db.Get(*options.profile)) return fail(fmt::format("cannot load profile {}", *options.profile));
    } else {
        std::error_code ec;
        const std::string path = fs::absolute(options.path, ec).string();
        if (!m_db.AddNew(TRUE, FALSE)) return fail("cannot prepare a temporary profile");
        m_db.SetStrDataSource(options.dataSource.c_str());
        m_db.SetStrDirectory(ec ? options.path.c_str() : path.c_str());
    }
    bool opened = false;
    {
        Phase phase("opening the database");
        opened = m_db.Open2(FALSE) != FALSE;
    }
    // A refused data source name is logged by the setup, so the printed
    // cause names the character the driver manager cannot take.
    if (!opened) return fail("cannot open the database " + m_db.strDirectory);
    return true;
}
