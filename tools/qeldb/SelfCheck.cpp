// `qeldb selfcheck`: exercises the platform layer and the ODBC drivers the
// component needs, in a scratch folder, and says what works.
#include "tools/qeldb/Commands.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <unistd.h>

#include <fmt/core.h>

#include <qel/qeldb.h>

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
    fmt::print("{}\n", failed == 0 ? "self-check passed" : fmt::format("self-check: {} check(s) failed", failed));
    return failed == 0 ? 0 : 1;
}

}  // namespace

void AddSelfCheckCommand(CLI::App& app, int& exitCode) {
    app.add_subcommand("selfcheck", "Check the platform layer and the ODBC drivers in a scratch folder")
        ->callback([&exitCode] { exitCode = RunSelfCheck(); });
}
