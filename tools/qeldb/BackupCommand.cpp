// `qeldb backup FILE` and `qeldb restore FILE`: a copy of a database and
// putting one back.
//
//   SQLite file   backup: VACUUM INTO on the component's own connection, a
//                 consistent copy while other programs keep working;
//                 restore: the copy replaces the file (and drops its -wal and
//                 -shm files) while the profile's named mutex is held, so a
//                 program that has the profile open blocks it.
//   PostgreSQL    backup: pg_dump --format=custom; restore: pg_restore
//                 --clean --if-exists --no-owner into the profile's database,
//                 also under the profile's mutex. Server, port, database and
//                 user come from the connection the data source makes; the
//                 password travels in PGPASSWORD, never on a command line.
#include "tools/qeldb/Commands.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fmt/core.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/platform/NamedMutex.h>

#include "tools/qeldb/ExitCodes.h"
#include "tools/qeldb/Failure.h"
#include "tools/qeldb/ProfileSelection.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct BackupArguments {
    ProfileOptions profile;
    std::string file;
};

// The one place this file reports a failure: "qeldb backup: why".
int Fail(const std::string& command, const std::string& why, int code = exit_code::kFailed) {
    fmt::print(stderr, "qeldb {}: {}\n", command, why);
    return code;
}

// A failure of the database object: its code, meaning, cause and the log.
int FailWith(const std::string& command, CDatabaseObj& db, const std::string& what) {
    PrintFailure(stderr, fmt::format("qeldb {}: {}", command, what), db);
    return exit_code::kDatabase;
}

// Where a PostgreSQL database is, as the driver completed the connection.
struct ServerAddress {
    std::string host, port, database, user, password;
};

ServerAddress AddressFromConnect(const std::string& connect) {
    std::map<std::string, std::string> keys;
    size_t start = connect.rfind("ODBC;", 0) == 0 ? 5 : 0;
    while (start < connect.size()) {
        size_t end = connect.find(';', start);
        if (end == std::string::npos) end = connect.size();
        const std::string pair = connect.substr(start, end - start);
        if (const size_t eq = pair.find('='); eq != std::string::npos) {
            std::string key = pair.substr(0, eq);
            for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            keys[key] = pair.substr(eq + 1);
        }
        start = end + 1;
    }
    const auto any = [&](std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (const auto found = keys.find(name); found != keys.end() && !found->second.empty()) return found->second;
        return std::string();
    };
    return {any({"SERVER", "SERVERNAME"}), any({"PORT"}), any({"DATABASE"}), any({"UID", "USERNAME"}),
            any({"PWD", "PASSWORD"})};
}

// Runs a program found on PATH and waits for it; its output goes where
// ours goes. Empty when it exited with 0, otherwise what happened.
std::string RunProgram(const std::vector<std::string>& args, const std::string& password) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "PGPASSWORD=", 11) != 0) environment.emplace_back(*e);
    if (!password.empty()) environment.push_back("PGPASSWORD=" + password);
    std::vector<char*> argv, envp;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    for (const std::string& var : environment) envp.push_back(const_cast<char*>(var.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = 0;
    if (const int error = posix_spawnp(&pid, args[0].c_str(), nullptr, nullptr, argv.data(), envp.data()); error != 0)
        return fmt::format("cannot run {}: {}", args[0], std::strerror(error));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return fmt::format("cannot wait for {}: {}", args[0], std::strerror(errno));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    if (WIFEXITED(status)) return fmt::format("{} failed (exit code {})", args[0], WEXITSTATUS(status));
    return fmt::format("{} was ended by signal {}", args[0], WTERMSIG(status));
}

std::vector<std::string> ServerOptions(const ServerAddress& address) {
    std::vector<std::string> options;
    if (!address.host.empty()) options.push_back("--host=" + address.host);
    if (!address.port.empty()) options.push_back("--port=" + address.port);
    if (!address.user.empty()) options.push_back("--username=" + address.user);
    options.push_back("--dbname=" + address.database);
    return options;
}

std::string Shown(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) text += (text.empty() ? "" : " ") + arg;
    return text;
}

std::string Absolute(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

int RunBackup(const BackupArguments& args) {
    const char* const command = "backup";
    const std::string target = Absolute(args.file);
    std::error_code ec;
    if (fs::exists(target, ec)) return Fail(command, target + " exists already; a backup never overwrites a file");
    if (const fs::path folder = fs::path(target).parent_path(); !fs::is_directory(folder, ec))
        return Fail(command, "the folder " + folder.string() + " does not exist");

    OpenedDatabase opened;
    if (!opened.Open(args.profile, command)) return opened.FailureExitCode();
    CDatabase* connection = opened.Db().GetDatabase();
    if (connection == nullptr) return Fail(command, "the database has no connection", exit_code::kDatabase);

    if (connection->Engine() == qel::odbc::Engine::PostgreSQL) {
        const ServerAddress address = AddressFromConnect(connection->GetConnect());
        if (address.database.empty()) return Fail(command, "the data source names no database");
        std::vector<std::string> dump = {"pg_dump", "--format=custom", "--file=" + target};
        for (std::string& option : ServerOptions(address)) dump.push_back(std::move(option));
        fmt::print(stderr, "running {}\n", Shown(dump));
        if (const std::string why = RunProgram(dump, address.password); !why.empty()) {
            fs::remove(target, ec);  // a partial dump is no backup
            return Fail(command, why);
        }
    } else {
        try {
            // A parameter, not text in the SQL: VACUUM INTO takes any expression.
            qel::odbc::Statement st(*connection);
            st.Prepare("VACUUM INTO ?");
            st.SetText(1, target);
            st.Execute();
        } catch (const CDBException& e) {
            fs::remove(target, ec);
            return Fail(command, fmt::format("cannot copy the database to {}: {}", target, e.m_strError));
        }
    }
    fmt::print("backed up {} to {}\n", opened.Db().strDirectory, target);
    return exit_code::kOk;
}

// True when `path` starts like an SQLite database file.
bool LooksLikeSqlite(const std::string& path, std::string* why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return *why = fmt::format("cannot read {}: {}", path, std::strerror(errno)), false;
    char header[16] = {};
    in.read(header, sizeof header);
    if (in.gcount() != sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0)
        return *why = path + " is not an SQLite database file", false;
    return true;
}

// Replaces the database file by the copy: written beside it first and then
// renamed over it, so a failure leaves the old file whole.
std::string ReplaceFile(const std::string& copy, const std::string& database) {
    const std::string staged = database + ".restoring";
    std::error_code ec;
    fs::copy_file(copy, staged, fs::copy_options::overwrite_existing, ec);
    if (ec) return fmt::format("cannot write {}: {}", staged, ec.message());
    // The journal files belong to the old contents; left behind they would
    // be replayed into the restored file.
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        fs::remove(database + suffix, ec);
        if (ec) {
            fs::remove(staged, ec);
            return fmt::format("cannot remove {}{}: {}", database, suffix, ec.message());
        }
    }
    fs::rename(staged, database, ec);
    if (ec) {
        fs::remove(staged, ec);
        return fmt::format("cannot replace {}: {}", database, ec.message());
    }
    return {};
}

std::string ProfileOpenMessage(LONG key) {
    return fmt::format("profile {} is open in a program on this computer; close it first", key);
}

// Whether a program holds the profile's mutex now.
bool ProfileIsOpen(LONG key) {
    return qel::platform::NamedMutex::Create(fmt::format("QEL_DB_MUTEX_{}", key)).alreadyExists;
}

int RunRestore(const BackupArguments& args) {
    const char* const command = "restore";
    const std::string source = Absolute(args.file);
    std::error_code ec;
    if (fs::is_directory(source, ec)) return Fail(command, source + " is a folder, not a backup file");
    if (!fs::exists(source, ec)) return Fail(command, source + " does not exist");
    if (const std::string why = CheckProfileOptions(args.profile); !why.empty())
        return Fail(command, why, exit_code::kUsage);

    CDatabaseObj db;
    LONG key = -1;
    std::string database;
    bool server = false;
    ServerAddress address;
    if (args.profile.profile) {
        key = *args.profile.profile;
        if (!db.Get(key))
            return FailWith(command, db, fmt::format("cannot load profile {}", key));
        database = db.strDirectory;
        server = db.lEngine == qel::datasource::kEngineClientServer;
        if (server) {
            // The server's address is what the data source connects to. An
            // open would fail on the profile's mutex; say why instead.
            if (ProfileIsOpen(key)) return Fail(command, ProfileOpenMessage(key));
            if (!db.Open2(FALSE))
                return FailWith(command, db, "cannot open the database " + database);
            address = AddressFromConnect(db.GetDatabase()->GetConnect());
            db.Close();
            if (address.database.empty()) return Fail(command, "the data source names no database");
        }
    } else {
        database = Absolute(args.profile.path);
    }

    // While a program has the profile open it holds this mutex; holding it
    // here keeps that program out until the restore is done.
    qel::platform::MutexHandle mutex;
    if (key >= 0) {
        auto result = qel::platform::NamedMutex::Create(fmt::format("QEL_DB_MUTEX_{}", key));
        if (result.failed) return Fail(command, "cannot take the profile's lock: " + result.error);
        if (result.alreadyExists) return Fail(command, ProfileOpenMessage(key));
        mutex = std::move(result.handle);
    }

    if (server) {
        std::vector<std::string> restore = {"pg_restore", "--clean", "--if-exists", "--no-owner", "--single-transaction"};
        for (std::string& option : ServerOptions(address)) restore.push_back(std::move(option));
        restore.push_back(source);
        fmt::print(stderr, "running {}\n", Shown(restore));
        if (const std::string why = RunProgram(restore, address.password); !why.empty()) return Fail(command, why);
        fmt::print("restored {} into {} on {}\n", source, address.database, address.host);
        return exit_code::kOk;
    }
    std::string why;
    if (!LooksLikeSqlite(source, &why)) return Fail(command, why);
    if (fs::equivalent(source, database, ec)) return Fail(command, "the backup is the database file itself");
    if (why = ReplaceFile(source, database); !why.empty()) return Fail(command, why);
    fmt::print("restored {} from {}\n", database, source);
    return exit_code::kOk;
}

}  // namespace

void AddBackupCommands(CLI::App& app, int& exitCode) {
    auto backupArgs = std::make_shared<BackupArguments>();
    CLI::App* backup = app.add_subcommand(
        "backup", "Copy a database to FILE while it stays in use (SQLite: VACUUM INTO; PostgreSQL: pg_dump)");
    backup->add_option("FILE", backupArgs->file, "The backup to write; must not exist")->required();
    AddProfileOptions(*backup, backupArgs->profile);
    backup->callback([backupArgs, &exitCode] { exitCode = RunBackup(*backupArgs); });

    auto restoreArgs = std::make_shared<BackupArguments>();
    CLI::App* restore = app.add_subcommand(
        "restore", "Put a backup back in place of the database (SQLite: the file; PostgreSQL: pg_restore)");
    restore->add_option("FILE", restoreArgs->file, "A file written by qeldb backup")->required();
    AddProfileOptions(*restore, restoreArgs->profile);
    restore->callback([restoreArgs, &exitCode] { exitCode = RunRestore(*restoreArgs); });
}
