// Shared pieces of the benchmarks: a scratch folder with its own ODBC and
// registry files, and (from the test support) a way to give a database
// object an open connection without the open path.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include <fmt/format.h>

#include <qel/qeldb.h>

#include "tests/support/DatabaseObjAccess.h"

namespace qel::bench {

// A scratch folder for the run, removed at exit; the component's files and
// the ODBC ini files are redirected into it.
inline const std::filesystem::path& Scratch() {
    static const std::filesystem::path dir = [] {
        auto path = std::filesystem::temp_directory_path() / fmt::format("qeldb-bench-{}", ::getpid());
        std::filesystem::create_directories(path / "odbc");
        std::error_code ec;
        std::filesystem::copy_file("/etc/odbcinst.ini", path / "odbc/odbcinst.ini", ec);
        ::setenv("ODBCINI", (path / "odbc/odbc.ini").c_str(), 1);
        ::setenv("ODBCSYSINI", (path / "odbc").c_str(), 1);
        ::setenv("QEL_REGISTRY_FILE", (path / "registry.reg").c_str(), 1);
        ::setenv("QEL_LOG_DIR", path.c_str(), 1);
        ::setenv("QEL_RUNTIME_DIR", path.c_str(), 1);
        ::setenv("QEL_MODULE_DIR", path.c_str(), 1);  // no layouts: measure the schema alone
        std::atexit([] { std::filesystem::remove_all(Scratch()); });
        return path;
    }();
    return dir;
}

inline std::string NewDatabasePath(const std::string& name) {
    static int counter = 0;
    return (Scratch() / fmt::format("{}-{}.db", name, ++counter)).string();
}

}  // namespace qel::bench
