// `qeldb profile`: lists, shows, writes and removes the stored database
// profiles in the current user's registry file, and writes the user data
// source a PostgreSQL profile connects through. The component itself only
// reads profiles; this is where an administrator makes them.
#include "tools/qeldb/Commands.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/core.h>

#include <qel/platform/AsciiText.h>
#include <qel/qeldb.h>

namespace fs = std::filesystem;

namespace {

using qel::datasource::Attributes;
using qel::datasource::kEngineClientServer;
using qel::datasource::kEngineFile;

constexpr const char* kProfilePrefix = "DatabaseJ";
constexpr const char* kPasswordVariable = "QEL_PG_PASSWORD";
// The profile values held as integers; the others are strings.
constexpr const char* kIntegerValues[] = {"MultiUser", "Default", "CurrentDoctor", "Engine"};
// Temporary profiles are numbered from 1000 upward and share the open lock's
// name with a stored profile of the same number, so stored ones stay below.
constexpr LONG kFirstTemporaryNumber = 1000;

// A failure that ends the command with a one-line message.
struct CommandError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

qel::platform::Registry& Store() { return qel::platform::Registry::CurrentUser(); }

std::string ProfileKey(LONG number) {
    return fmt::format("{}\\{}{}", qel::platform::AppProfile::Current().RootKey(), kProfilePrefix, number);
}

// The number of a profile key name: "DatabaseJ" and a decimal number without
// leading zeros, the way the component forms it.
std::optional<LONG> ProfileNumber(const std::string& keyName) {
    const std::string prefix = kProfilePrefix;
    if (keyName.size() <= prefix.size() || keyName.size() > prefix.size() + 9) return std::nullopt;
    if (!qel::platform::StartsWithNoCase(keyName, prefix)) return std::nullopt;
    const std::string digits = keyName.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
    return static_cast<LONG>(std::stol(digits));
}

// Whether a value counts as present for the component, which reads a stored
// -1 or "<@>" as absent.
bool HasInt(const std::string& key, const char* name) { return Store().GetInt(key, name).value_or(-1) != -1; }
bool HasString(const std::string& key, const char* name) {
    return Store().GetString(key, name).value_or("<@>") != "<@>";
}

// The engine value as the component reads it: absent means the file engine.
std::optional<LONG> StoredEngine(const std::string& key) { return Store().GetInt(key, "Engine"); }

std::string EngineText(std::optional<LONG> stored) {
    const LONG engine = stored.value_or(kEngineFile);
    if (engine == kEngineFile || engine == -1) return "sqlite";
    if (engine == kEngineClientServer) return "postgresql";
    return fmt::format("unknown ({})", engine);
}

bool IsPostgresDriver(const std::string& driver) {
    const std::string lower = qel::platform::LowerAscii(driver);
    return lower.find("postgres") != std::string::npos || lower.find("psqlodbc") != std::string::npos;
}

// Data source keys compare case-insensitively, as the installer reads them.
bool SameName(const std::string& a, const std::string& b) { return qel::platform::EqualsNoCase(a, b); }

const std::string* Find(const Attributes& attributes, const std::string& name) {
    for (const auto& [key, value] : attributes)
        if (SameName(key, name)) return &value;
    return nullptr;
}

void Put(Attributes& attributes, const std::string& name, const std::string& value) {
    for (auto& [key, old] : attributes) {
        if (SameName(key, name)) {
            old = value;
            return;
        }
    }
    attributes.emplace_back(name, value);
}

void Erase(Attributes& attributes, const std::string& name) {
    std::erase_if(attributes, [&name](const auto& attribute) { return SameName(attribute.first, name); });
}

// What the component answers for the profile: empty when Get accepts it.
std::string ComponentVerdict(LONG number) {
    CDatabaseObj db;
    if (db.Get(number)) return {};
    return fmt::format("the component does not load it: Get answers error {} ({})", db.GetLErrorCode(),
                       qel::database::ErrorText(db.GetLErrorCode()));
}

// ---- list ---------------------------------------------------------------

// The registry file's own problem (a folder, unreadable, not a registry
// file) ends the command with those words rather than "no profile".
void RequireUsableRegistry() {
    if (const std::string problem = Store().Problem(); !problem.empty()) throw CommandError(problem);
}

int RunList() {
    RequireUsableRegistry();
    struct Row {
        LONG number;
        std::string name, engine, dataSource, path;
    };
    std::vector<Row> rows;
    const std::string root = qel::platform::AppProfile::Current().RootKey();
    for (const std::string& subKey : Store().SubKeys(root)) {
        const auto number = ProfileNumber(subKey);
        if (!number) continue;
        const std::string key = root + "\\" + subKey;
        rows.push_back({*number, Store().GetString(key, "Name").value_or("-"), EngineText(StoredEngine(key)),
                        Store().GetString(key, "DataSource").value_or("-"),
                        Store().GetString(key, "Path").value_or("-")});
    }
    if (rows.empty()) {
        std::fprintf(stderr, "no profiles in %s\n", Store().FilePath().c_str());
        return 0;
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.number < b.number; });
    std::size_t name = 4, engine = 6, source = 11;
    for (const Row& row : rows) {
        name = std::max(name, row.name.size());
        engine = std::max(engine, row.engine.size());
        source = std::max(source, row.dataSource.size());
    }
    fmt::print("{:>6}  {:<{}}  {:<{}}  {:<{}}  {}\n", "Number", "Name", name, "Engine", engine, "Data source", source,
               "Path");
    for (const Row& row : rows)
        fmt::print("{:>6}  {:<{}}  {:<{}}  {:<{}}  {}\n", row.number, row.name, name, row.engine, engine,
                   row.dataSource, source, row.path);
    return 0;
}

// ---- show ---------------------------------------------------------------

int RunShow(LONG number) {
    RequireUsableRegistry();
    const std::string key = ProfileKey(number);
    if (!Store().KeyExists(key)) throw CommandError(fmt::format("profile {} does not exist ({})", number, key));
    fmt::print("profile {} [{}]\n", number, key);
    for (const std::string& name : Store().ValueNames(key)) {
        // Each value is read as the type it should have first, so only a
        // value of the wrong type draws the registry's warning.
        const bool integer = std::any_of(std::begin(kIntegerValues), std::end(kIntegerValues),
                                         [&name](const char* known) { return SameName(name, known); });
        std::optional<LONG> value = integer ? Store().GetInt(key, name) : std::nullopt;
        std::optional<std::string> text = value ? std::nullopt : Store().GetString(key, name);
        if (!value && !text && !integer) value = Store().GetInt(key, name);
        if (value) fmt::print("  {} = {}\n", name, *value);
        else if (text) fmt::print("  {} = \"{}\"\n", name, *text);
        else fmt::print("  {} = (a value of another type)\n", name);
    }
    fmt::print("  engine: {}\n", EngineText(StoredEngine(key)));

    const auto dataSource = Store().GetString(key, "DataSource");
    if (dataSource && StoredEngine(key) == kEngineClientServer) {
        const auto keys = qel::datasource::ReadUserDataSource(*dataSource);
        if (!keys) {
            fmt::print("  data source \"{}\": not registered\n", *dataSource);
        } else {
            fmt::print("  data source \"{}\":\n", *dataSource);
            for (const auto& [name, value] : *keys) {
                const bool secret = qel::datasource::IsPasswordKey(name);
                fmt::print("    {} = {}\n", name, secret ? "********" : value);
            }
        }
    }
    const std::string verdict = ComponentVerdict(number);
    fmt::print("  {}\n", verdict.empty() ? "the component loads it" : verdict);
    return 0;
}

// ---- set ----------------------------------------------------------------

struct SetOptions {
    LONG number = 0;
    std::optional<std::string> name, dataSource, path, engine, server, database, user;
    std::optional<int> port;
    std::optional<LONG> multiUser, currentDoctor;
};

// Restores the terminal's echo when the password prompt ends.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &m_saved) != 0) return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        m_active = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_active) ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

// The password from the environment, else typed at a terminal; nullopt for
// none (no terminal, or an empty answer).
std::optional<std::string> Password(const std::string& user) {
    if (const char* value = std::getenv(kPasswordVariable)) {
        if (*value == '\0') return std::nullopt;
        return std::string(value);
    }
    if (::isatty(STDIN_FILENO) == 0) return std::nullopt;
    std::string typed;
    {
        const EchoOff quiet;
        std::fprintf(stderr, "Password for %s (empty for none): ", user.empty() ? "the database user" : user.c_str());
        std::fflush(stderr);
        std::getline(std::cin, typed);
    }
    std::fputc('\n', stderr);
    if (typed.empty()) return std::nullopt;
    return typed;
}

// Writes the PostgreSQL data source: the connection values of an existing
// psqlODBC data source of that name, overridden by the options, with the
// password of this run only.
std::string WritePostgresDataSource(const SetOptions& options, const std::string& dsn) {
    Attributes keys;
    if (const auto existing = qel::datasource::ReadUserDataSource(dsn)) {
        const std::string* driver = Find(*existing, "Driver");
        if (driver && IsPostgresDriver(*driver)) keys = *existing;
    }
    for (const char* dropped : {"Driver", "Password", "PWD"}) Erase(keys, dropped);
    if (options.server) Put(keys, "Servername", *options.server);
    if (options.port) Put(keys, "Port", std::to_string(*options.port));
    if (options.database) Put(keys, "Database", *options.database);
    if (options.user) Put(keys, "Username", *options.user);
    if (!Find(keys, "Servername")) Put(keys, "Servername", "localhost");
    if (!Find(keys, "Port")) Put(keys, "Port", "5432");
    const std::string* database = Find(keys, "Database");
    if (!database || database->empty())
        throw CommandError(fmt::format("--database is needed: data source \"{}\" names no database yet", dsn));

    const std::string* user = Find(keys, "Username");
    const auto password = Password(user ? *user : std::string());
    if (password) Put(keys, "Password", *password);
    else std::fprintf(stderr, "no password written (set %s or run at a terminal to give one)\n", kPasswordVariable);

    if (!qel::datasource::WriteClientServerDataSource(dsn, keys))
        throw CommandError(fmt::format("cannot write data source \"{}\" (see the log for the installer's reason)", dsn));
    std::fprintf(stderr, "data source \"%s\" written\n", dsn.c_str());
    return fmt::format("{}:{}/{}", *Find(keys, "Servername"), *Find(keys, "Port"), *Find(keys, "Database"));
}

// The data source name rules of the ODBC installer (SQLValidDSN), applied to
// both engines: the component registers a SQLite data source itself at open,
// where a refused name would only show as a failed open.
constexpr std::size_t kMaxDataSourceName = 32;
constexpr std::string_view kDataSourceForbidden = "[]{}(),;?*=!@\\";

std::string DataSourceNameProblem(const std::string& name) {
    if (name.empty()) return "the data source name is empty";
    if (name.size() > kMaxDataSourceName)
        return fmt::format("the data source name \"{}\" is longer than {} characters", name, kMaxDataSourceName);
    if (const auto bad = name.find_first_of(kDataSourceForbidden); bad != std::string::npos)
        return fmt::format("the data source name \"{}\" holds '{}' (not allowed: {})", name, name[bad],
                           kDataSourceForbidden);
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    if (name.find_first_of(std::string("\r\n\t\0", 4)) != std::string::npos || blank(name.front()) ||
        blank(name.back()))
        return fmt::format("the data source name \"{}\" holds a line break or tab, or starts or ends with a blank",
                           name);
    return {};
}

// Registry strings are one line of text.
void CheckOneLine(const std::string& value, const char* what) {
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw CommandError(fmt::format("{} holds a line break; a profile value is one line of text", what));
}

int RunSet(const SetOptions& options) {
    if (options.number < 0 || options.number >= kFirstTemporaryNumber)
        throw CommandError(fmt::format("profile numbers run from 0 to {} (temporary profiles use {} and up)",
                                       kFirstTemporaryNumber - 1, kFirstTemporaryNumber));
    // Every value is checked before anything is written: a refused profile
    // leaves the registry file (and the data source) as they were.
    RequireUsableRegistry();
    const std::string key = ProfileKey(options.number);
    const auto stored = StoredEngine(key);
    LONG engine = kEngineFile;
    if (options.engine) engine = *options.engine == "postgresql" ? kEngineClientServer : kEngineFile;
    else if (stored && *stored != -1) engine = *stored;
    if (engine != kEngineFile && engine != kEngineClientServer)
        throw CommandError(fmt::format("profile {} holds engine value {}; say --engine sqlite or --engine postgresql",
                                       options.number, engine));
    const bool postgres = engine == kEngineClientServer;
    if (!postgres && (options.server || options.port || options.database || options.user))
        throw CommandError("--server, --port, --database and --user need --engine postgresql");

    auto dataSource = options.dataSource;
    if (!dataSource && HasString(key, "DataSource")) dataSource = Store().GetString(key, "DataSource");
    if (!dataSource || dataSource->empty()) throw CommandError("--data-source is needed for a new profile");
    if (const std::string problem = DataSourceNameProblem(*dataSource); !problem.empty()) throw CommandError(problem);

    std::optional<std::string> name = options.name;
    if (!name && !HasString(key, "Name")) name = *dataSource;
    if (name) CheckOneLine(*name, "--name");

    auto path = options.path;
    if (!path && HasString(key, "Path")) path = Store().GetString(key, "Path");
    if (path) CheckOneLine(*path, "--path");
    if (path && !postgres) {
        // The component opens the file from wherever the client runs, so
        // the profile holds an absolute path.
        if (path->empty()) throw CommandError("--path is empty; give the database file");
        std::error_code ec;
        const fs::path absolute = fs::absolute(*path, ec);
        if (ec) throw CommandError(fmt::format("--path {} cannot be made absolute: {}", *path, ec.message()));
        if (absolute.string() != *path) {
            std::fprintf(stderr, "path %s written as %s\n", path->c_str(), absolute.c_str());
            path = absolute.string();
        }
    }

    const bool rewriteSource = postgres && (stored != kEngineClientServer || options.dataSource || options.server ||
                                            options.port || options.database || options.user ||
                                            !qel::datasource::ReadUserDataSource(*dataSource));
    if (!path && !rewriteSource) throw CommandError("--path is needed for a new profile (the database file)");

    // The data source goes first, so a refused one leaves the profile alone.
    if (rewriteSource) {
        const std::string location = WritePostgresDataSource(options, *dataSource);
        if (!path) path = location;
    }

    using Value = qel::platform::Registry::Value;
    std::vector<Value> values{{"DataSource", std::nullopt, *dataSource}, {"Path", std::nullopt, *path}};
    if (name) values.push_back({"Name", std::nullopt, *name});
    if (options.multiUser || !HasInt(key, "MultiUser"))
        values.push_back({"MultiUser", options.multiUser.value_or(0), {}});
    // The component accepts only a non-zero default-engine flag (and reads -1
    // as absent).
    if (const LONG flag = Store().GetInt(key, "Default").value_or(0); flag == 0 || flag == -1)
        values.push_back({"Default", 1, {}});
    if (options.currentDoctor || !HasInt(key, "CurrentDoctor"))
        values.push_back({"CurrentDoctor", options.currentDoctor.value_or(0), {}});
    // Absent is the file engine, the way every profile looked before there
    // was a choice.
    if (postgres) values.push_back({"Engine", kEngineClientServer, {}});
    else if (options.engine) values.push_back({"Engine", std::nullopt, std::nullopt});

    qel::outside::ForgetFailureCause();
    if (!Store().SetValues(key, values)) {
        const std::string cause = qel::outside::LastFailureCause();
        throw CommandError(fmt::format("cannot write profile {} to {}{}{}", options.number, Store().FilePath(),
                                       cause.empty() ? "" : ": ", cause));
    }

    std::fprintf(stderr, "profile %d written\n", options.number);
    const std::string verdict = ComponentVerdict(options.number);
    if (!verdict.empty()) std::fprintf(stderr, "note: %s\n", verdict.c_str());
    return 0;
}

// ---- remove -------------------------------------------------------------

int RunRemove(LONG number) {
    RequireUsableRegistry();
    const std::string key = ProfileKey(number);
    if (!Store().KeyExists(key)) throw CommandError(fmt::format("profile {} does not exist", number));
    const auto dataSource = Store().GetString(key, "DataSource");
    if (!Store().DeleteKey(key)) throw CommandError(fmt::format("cannot remove profile {} from {}", number, Store().FilePath()));
    std::fprintf(stderr, "profile %d removed", number);
    if (dataSource) std::fprintf(stderr, "; data source \"%s\" kept", dataSource->c_str());
    std::fputc('\n', stderr);
    return 0;
}

template <class Run>
void Guard(int& exitCode, Run run) {
    try {
        exitCode = run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qeldb profile: %s\n", e.what());
        exitCode = 1;
    }
}

}  // namespace

void AddProfileCommand(CLI::App& app, int& exitCode) {
    CLI::App* profile = app.add_subcommand("profile", "List, show, write and remove the stored database profiles");
    profile->require_subcommand(1);

    profile->add_subcommand("list", "List the profiles: number, name, engine, data source, path")
        ->callback([&exitCode] { Guard(exitCode, RunList); });

    auto number = std::make_shared<LONG>(0);
    CLI::App* show = profile->add_subcommand("show", "Show every value of a profile (and its PostgreSQL data source)");
    show->add_option("N", *number, "profile number")->required();
    show->callback([&exitCode, number] { Guard(exitCode, [&] { return RunShow(*number); }); });

    auto options = std::make_shared<SetOptions>();
    CLI::App* set = profile->add_subcommand(
        "set", "Create or change a profile; values not given keep their stored value or get a default");
    set->add_option("N", options->number, "profile number (0 to 999)")->required();
    set->add_option("--name", options->name, "display name (new profiles: the data source name)");
    set->add_option("--data-source", options->dataSource, "ODBC data source name (needed for a new profile)");
    set->add_option("--path", options->path,
                    "database file (sqlite; needed for a new profile) or location text (postgresql: host:port/database)");
    set->add_option("--multi-user", options->multiUser, "multi-user flag (the component loads only 0)")
        ->check(CLI::IsMember({0, 1}));
    set->add_option("--current-doctor", options->currentDoctor, "key of the current doctor (0 = none)")
        ->check(CLI::NonNegativeNumber);
    set->add_option("--engine", options->engine, "sqlite (file database) or postgresql")
        ->check(CLI::IsMember({"sqlite", "postgresql"}));
    set->add_option("--server", options->server, "PostgreSQL server host (default localhost)");
    set->add_option("--port", options->port, "PostgreSQL server port (default 5432)")->check(CLI::Range(1, 65535));
    set->add_option("--database", options->database, "PostgreSQL database name");
    set->add_option("--user", options->user, "PostgreSQL user name (password from QEL_PG_PASSWORD or a prompt)");
    set->callback([&exitCode, options] { Guard(exitCode, [&] { return RunSet(*options); }); });

    auto removed = std::make_shared<LONG>(0);
    CLI::App* remove = profile->add_subcommand("remove", "Remove a profile's registry key (its data source stays)");
    remove->add_option("N", *removed, "profile number")->required();
    remove->callback([&exitCode, removed] { Guard(exitCode, [&] { return RunRemove(*removed); }); });
}
