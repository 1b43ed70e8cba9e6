// Shared pieces of the benchmarks: a scratch folder with its own ODBC and
// registry files, throw-away databases on the PostgreSQL server named by
// QEL_PG_HOST, QEL_PG_PORT and QEL_PG_USER (`eval "$(bash scripts/pg start)"`),
// and (from the test support) a way to give a database object an open
// connection without the open path.
#pragma once

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <fmt/format.h>

#include <qel/qeldb.h>

#include "support/Workstation.h"
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

inline std::string Env(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

inline bool PostgresAvailable() { return !Env("QEL_PG_HOST", "").empty() && !Env("QEL_PG_PORT", "").empty(); }

inline std::string PostgresConnectString(const std::string& database) {
    return fmt::format("DRIVER={};Server={};Port={};Database={};UID={};ByteaAsLongVarBinary=1",
                       qel::datasource::kClientServerDriver, Env("QEL_PG_HOST", ""), Env("QEL_PG_PORT", ""), database,
                       Env("QEL_PG_USER", "postgres"));
}

// A new empty PostgreSQL database for this run, dropped at exit; its name.
inline std::string NewPostgresDatabase(const std::string& name) {
    static int counter = 0;
    const std::string database = fmt::format("qelbench_{}_{}_{}", name, ::getpid(), ++counter);
    Scratch();  // the driver list the admin connection needs
    CDatabase admin;
    admin.OpenEx(PostgresConnectString("postgres").c_str());
    admin.ExecuteSQL(fmt::format("CREATE DATABASE {}", database).c_str());
    static std::vector<std::string> created;
    if (created.empty()) {
        std::atexit([] {
            try {
                CDatabase cleanup;
                cleanup.OpenEx(PostgresConnectString("postgres").c_str());
                for (const auto& db : created)
                    cleanup.ExecuteSQL(fmt::format("DROP DATABASE IF EXISTS {} WITH (FORCE)", db).c_str());
            } catch (...) {
                // The throw-away server goes away with the run anyway.
            }
        });
    }
    created.push_back(database);
    return database;
}

// A new database object opened through the full open path on a new scratch
// database: a SQLite file (engine 2) or a PostgreSQL database (engine 1),
// under the data source `dataSource`. It lives for the run, as the
// component's objects do in a client; a failed open ends the run.
inline CDatabaseObj* OpenScratchDatabase(LONG engine, const std::string& dataSource) {
    auto* obj = new CDatabaseObj;
    obj->AddNew(TRUE, FALSE);
    if (engine == 1) {
        std::string name = dataSource;  // unquoted names fold to lower case in SQL
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string database = NewPostgresDatabase(name);
        qel::test::AddClientServerDataSource(Scratch() / "odbc/odbc.ini", dataSource + "Pg", database);
        obj->lEngine = 1;  // the native face's member: the automation setter is read-only
        obj->SetStrDataSource((dataSource + "Pg").c_str());
        obj->SetStrDirectory(database.c_str());
    } else {
        obj->SetStrDataSource(dataSource.c_str());
        obj->SetStrDirectory(NewDatabasePath(dataSource).c_str());
    }
    if (!obj->Open2(FALSE)) {
        std::fprintf(stderr, "cannot open the benchmark database (%d)\n", static_cast<int>(obj->lErrorCode));
        std::exit(1);
    }
    return obj;
}

}  // namespace qel::bench
