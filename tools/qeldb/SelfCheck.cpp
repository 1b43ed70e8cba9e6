// `qeldb selfcheck`: exercises the platform layer and the ODBC drivers the
// component needs, in a scratch folder, then looks at the user's real files
// (registry file, runtime folder, data folder, ODBC ini files) without
// writing into them, and says what works and what is wrong.
#include "tools/qeldb/Commands.h"


#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

#include <fmt/core.h>

#include <qel/platform/AsciiText.h>
#include <qel/qeldb.h>

#include "tools/qeldb/UserFolders.h"

namespace fs = std::filesystem;

namespace {

struct Check {
    const char* name;
    std::function<std::string()> run;  // empty text = passed; otherwise why not
};

std::string CheckRegistry(const fs::path& scratch) {
    qel::platform::Registry registry((scratch / "registry.reg").string());
    const std::string key = "Software\\Talveni\\Quorva\\DatabaseJ1";
    if (!registry.SetString(key, "Name", "Studio \"Rossi\" \\ Sal\u00e8") || !registry.SetInt(key, "CurrentDoctor", 7))
        return "cannot write " + registry.FilePath();
    if (registry.GetString(key, "name") != "Studio \"Rossi\" \\ Sal\u00e8" || registry.GetInt(key, "CURRENTDOCTOR") != 7)
        return "values did not read back";
    return {};
}

std::string CheckMutex() {
    auto first = qel::platform::NamedMutex::Create("QEL_SELFCHECK_MUTEX");
    if (first.failed) return first.error;
    auto second = qel::platform::NamedMutex::Create("QEL_SELFCHECK_MUTEX");
    if (!second.alreadyExists) return "a second holder was let in";
    first.handle.reset();
    auto third = qel::platform::NamedMutex::Create("QEL_SELFCHECK_MUTEX");
    return third.handle ? std::string() : "not released on close";
}

std::string CheckWindows() {
    using namespace qel::platform;
    const auto owner = std::this_thread::get_id();
    std::thread::id ranOn;
    HWND hwnd = CreateWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_USER + 6) ranOn = std::this_thread::get_id();
        return message == WM_USER + 6 ? static_cast<LRESULT>(wParam) * 2 : 0;
    });
    if (hwnd == nullptr) return "no window";
    LRESULT answer = 0;
    std::thread sender([&] {
        answer = SendMessage(hwnd, WM_USER + 6, 21, 0);
        PostMessage(hwnd, WM_USER + 1, 0, 0);
    });
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0 && msg.message != WM_USER + 1) DispatchMessage(&msg);
    sender.join();
    DestroyWindow(hwnd);
    if (answer != 42) return "SendMessage answered " + std::to_string(answer);
    return ranOn == owner ? std::string() : "the handler ran on the sending thread";
}

std::string CheckLocale() {
    using namespace qel::platform;
    const DWORD flags = NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH;
    if (CompareStringA(LOCALE_JAPANESE, flags, "\u3084\u307e\u3060", "\uff94\uff8f\uff80\uff9e") != CSTR_EQUAL)
        return "kana type and width are not ignored";
    if (CharUpper("rossi \u00e8") != "ROSSI \u00c8") return "upper-casing failed";
    return {};
}

std::string CheckBstr() {
    qel::platform::BstrPtr text = qel::platform::BstrPtr::FromUtf8("Sal\u00e8 \U0001F9B7");
    return text.Utf8() == "Sal\u00e8 \U0001F9B7" ? std::string() : "UTF-8 did not survive a BSTR";
}

std::string CheckDriver(const fs::path& scratch) {
    try {
        CDatabase db;
        db.OpenEx(qel::datasource::FileEngineConnectString((scratch / "check.db").string()).c_str());
        db.ExecuteSQL("CREATE TABLE T (A INTEGER)");
        db.Close();
        return {};
    } catch (const CDBException& e) {
        return fmt::format("{} ({})", e.m_strError, e.m_strSQLState);
    }
}

// ---- the user's real files: read-only checks --------------------------

std::string ErrnoText() { return std::strerror(errno); }

// Whether files can be made in `folder`, or in the nearest folder above it
// that exists when it is missing (it would be created there).
std::string FolderProblem(const fs::path& folder) {
    std::error_code ec;
    fs::path existing = folder;
    while (!existing.empty() && !fs::exists(existing, ec)) {
        if (ec) return fmt::format("{}: {}", existing.string(), ec.message());
        if (existing == existing.parent_path()) break;
        existing = existing.parent_path();
    }
    if (existing.empty()) existing = ".";
    if (!fs::is_directory(existing, ec))
        return fmt::format("{} is a file, not a folder{}", existing.string(),
                           existing == folder ? "" : fmt::format(" (so {} cannot be made)", folder.string()));
    if (::access(existing.c_str(), W_OK | X_OK) != 0)
        return fmt::format("{} cannot be written: {}", existing.string(), ErrnoText());
    return {};
}

std::string CheckUserRegistry(std::string* where) {
    const auto& registry = qel::platform::Registry::CurrentUser();
    *where = registry.FilePath();
    if (const std::string problem = registry.Problem(); !problem.empty()) return problem;
    std::error_code ec;
    if (!fs::exists(*where, ec)) {
        if (std::string problem = FolderProblem(fs::path(*where).parent_path()); !problem.empty())
            return "cannot be created: " + problem;
        *where += " (not there yet; made on the first write)";
        return {};
    }
    if (std::string problem = FolderProblem(fs::path(*where).parent_path()); !problem.empty())
        return "cannot be written (it is replaced through its folder): " + problem;
    return {};
}

std::string CheckRuntimeFolder(std::string* where) {
    const std::string folder = qel::platform::NamedMutex::Folder();
    *where = folder;
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        if (std::string problem = FolderProblem(folder); !problem.empty()) return "cannot be created: " + problem;
        return {};
    }
    if (!fs::is_directory(folder, ec)) return folder + " is a file, not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return folder + " cannot be written: " + ErrnoText();
    return {};
}

std::string CheckDataFolder(std::string* where) {
    const std::string folder = DataFolder();
    *where = folder;
    if (folder.empty()) return "no data folder: set QEL_DATA_DIR, XDG_DATA_HOME or HOME";
    if (std::string problem = FolderProblem(folder); !problem.empty()) return problem;
    // The demo's database, when there is one, must be a SQLite file.
    const fs::path demo = fs::path(folder) / "demo.db";
    std::error_code ec;
    if (fs::exists(demo, ec)) {
        std::ifstream in(demo, std::ios::binary);
        if (!in) return fmt::format("{} cannot be read: {}", demo.string(), ErrnoText());
        char header[16] = {};
        in.read(header, sizeof header);
        if (in.gcount() > 0 && std::string(header, 16) != std::string("SQLite format 3\0", 16))
            return fmt::format("{} is not a SQLite database", demo.string());
    }
    return {};
}

// An ODBC ini file: sections, "key = value" lines, ; and # comments.
// Returns why it is unusable; fills the sections' names and their keys.
using IniSections = std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

std::string ReadIni(const std::string& path, IniSections* sections) {
    std::ifstream in(path);
    if (!in) return fmt::format("{} cannot be read: {}", path, ErrnoText());
    std::error_code ec;
    if (fs::is_directory(path, ec)) return path + " is a folder, not a file";
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == ';' || line[first] == '#') continue;
        const auto last = line.find_last_not_of(" \t\r");
        if (line[first] == '[' && line[last] == ']') {
            sections->push_back({line.substr(first + 1, last - first - 1), {}});
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos || sections->empty())
            return fmt::format("{} line {} cannot be parsed: {}", path, number, line.substr(first, 60));
        const std::string_view text = line;
        sections->back().second.emplace_back(qel::platform::Trim(text.substr(0, equals), " \t\r"),
                                             qel::platform::Trim(text.substr(equals + 1), " \t\r"));
    }
    return {};
}

std::string UserOdbcIni() {
    if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') return ini;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return std::string(home) + "/.odbc.ini";
    return {};
}

std::string DriverListIni() {
    if (const char* folder = std::getenv("ODBCSYSINI"); folder != nullptr && *folder != '\0')
        return (fs::path(folder) / "odbcinst.ini").string();
    return "/etc/odbcinst.ini";
}

std::string CheckUserDataSources(std::string* where) {
    const std::string path = UserOdbcIni();
    *where = path;
    if (path.empty()) return "no user data source file: set ODBCINI or HOME";
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        if (std::string problem = FolderProblem(fs::path(path).parent_path()); !problem.empty())
            return "cannot be created: " + problem;
        *where += " (not there yet; made when a data source is written)";
        return {};
    }
    IniSections sections;
    if (std::string problem = ReadIni(path, &sections); !problem.empty()) return problem;
    if (::access(path.c_str(), W_OK) != 0) return path + " cannot be written: " + ErrnoText();
    return {};
}

std::string CheckDriverList(std::string* where) {
    const std::string path = DriverListIni();
    *where = path;
    IniSections sections;
    if (std::string problem = ReadIni(path, &sections); !problem.empty()) return problem;
    for (const LONG engine : {qel::datasource::kEngineFile, qel::datasource::kEngineClientServer}) {
        const std::string driver = qel::datasource::DriverName(engine);
        const auto found = std::find_if(sections.begin(), sections.end(), [&](const auto& section) {
            return qel::platform::EqualsNoCase(section.first, driver);
        });
        // The file engine's driver is needed; the server's only when used.
        if (found == sections.end()) {
            if (engine == qel::datasource::kEngineFile)
                return fmt::format("the {} driver is not registered in {}", driver, path);
            continue;
        }
        for (const auto& [key, value] : found->second) {
            if (!qel::platform::EqualsNoCase(key, "Driver") || value.empty() || value.front() != '/') continue;
            if (::access(value.c_str(), R_OK) != 0)
                return fmt::format("the {} driver's library {} cannot be read: {}", driver, value, ErrnoText());
        }
    }
    return {};
}

struct UserCheck {
    const char* name;
    std::function<std::string(std::string*)> run;  // fills the path it looked at
};

int RunUserChecks() {
    const UserCheck checks[] = {
        {"registry file", CheckUserRegistry},
        {"runtime folder", CheckRuntimeFolder},
        {"data folder", CheckDataFolder},
        {"ODBC data sources", CheckUserDataSources},
        {"ODBC driver list", CheckDriverList},
    };
    int failed = 0;
    for (const auto& check : checks) {
        std::string where, why;
        try {
            why = check.run(&where);
        } catch (const std::exception& e) {
            why = e.what();
        }
        fmt::print("  {:<28} {}{}\n", check.name, why.empty() ? "ok" : "FAILED: " + why,
                   why.empty() && !where.empty() ? "  " + where : "");
        if (!why.empty()) ++failed;
    }
    return failed;
}

}  // namespace

namespace {

int RunSelfCheck() {
    std::error_code ec;
    const fs::path scratch = fs::temp_directory_path() / fmt::format("qeldb-selfcheck-{}", ::getpid());
    fs::create_directories(scratch, ec);
    const Check checks[] = {
        {"registry file", [&] { return CheckRegistry(scratch); }},
        {"named mutex", CheckMutex},
        {"windows and message queues", CheckWindows},
        {"locale folding", CheckLocale},
        {"automation strings", CheckBstr},
        {"SQLite3 ODBC driver", [&] { return CheckDriver(scratch); }},
    };
    int failed = 0;
    for (const auto& check : checks) {
        std::string why;
        try {
            why = check.run();
        } catch (const std::exception& e) {
            why = e.what();
        }
        fmt::print("  {:<28} {}\n", check.name, why.empty() ? "ok" : "FAILED: " + why);
        if (!why.empty()) ++failed;
    }
    fs::remove_all(scratch, ec);
    fmt::print("your files:\n");
    failed += RunUserChecks();
    fmt::print("{}\n", failed == 0 ? "self-check passed" : fmt::format("self-check: {} check(s) failed", failed));
    return failed == 0 ? 0 : 1;
}

}  // namespace

void AddSelfCheckCommand(CLI::App& app, int& exitCode) {
    app.add_subcommand("selfcheck",
                       "Check the platform layer and the ODBC drivers in a scratch folder, then your registry file, "
                       "runtime folder, data folder and ODBC files (read only)")
        ->callback([&exitCode] { exitCode = RunSelfCheck(); });
}
