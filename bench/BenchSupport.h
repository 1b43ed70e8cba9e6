// Shared pieces of the benchmarks, on the test support's core: the run's
// sandbox (its own registry, ODBC and log files, removed at exit), scratch
// databases on the PostgreSQL server named by QEL_PG_HOST, QEL_PG_PORT and
// QEL_PG_USER (`eval "$(bash scripts/pg start)"`), and a way to give a
// database object an open connection without the open path.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <qel/qeldb.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/Sandbox.h"
#include "support/ScratchDatabase.h"

namespace qel::bench {

// The sandbox of the run, without layouts: the benchmarks measure the
// schema alone.
inline std::filesystem::path Scratch() {
    static const bool once = [] {
        qel::test::Sandbox::Current();
        return ::setenv("QEL_MODULE_DIR", qel::test::Sandbox::Current().Root().c_str(), 1) == 0;
    }();
    (void)once;
    return qel::test::Sandbox::Current().Root();
}

// The scratch databases of the run; never destroyed, NewDatabase drops them
// at exit.
inline std::list<qel::test::ScratchDatabase>& RunDatabases() {
    static auto* databases = new std::list<qel::test::ScratchDatabase>;
    return *databases;
}

// A new scratch database for the run: its file (engine 2) or database name
// (engine 1); a failure ends the run.
inline std::string NewDatabase(LONG engine, const std::string& name) {
    Scratch();  // the driver list the admin connection needs
    auto database = qel::test::ScratchDatabase::Create(engine, name);
    if (!database) {
        std::fprintf(stderr, "%s\n", qel::test::EngineUnavailable(engine).c_str());
        std::exit(1);
    }
    if (engine == 1) {
        // Registered after the first server connection made the ODBC layer's
        // statics, so the drops run before those are destroyed.
        static const bool dropAtExit = std::atexit([] { RunDatabases().clear(); }) == 0;
        (void)dropAtExit;
    }
    return RunDatabases().emplace_back(std::move(*database)).Location();
}
inline std::string NewDatabasePath(const std::string& name) { return NewDatabase(2, name); }

// Skips a benchmark whose engine (its first argument) is missing here.
inline bool EngineAvailable(benchmark::State& state) {
    const std::string missing = qel::test::EngineUnavailable(static_cast<LONG>(state.range(0)));
    if (!missing.empty()) state.SkipWithError(missing.c_str());
    return missing.empty();
}

// A new database object opened through the full open path on a new scratch
// database of the engine, under the data source `dataSource`. It lives for
// the run, as the component's objects do in a client; a failed open ends the
// run.
inline CDatabaseObj* OpenScratchDatabase(LONG engine, const std::string& dataSource) {
    auto* obj = new CDatabaseObj;
    obj->AddNew(TRUE, FALSE);
    const std::string location = NewDatabase(engine, dataSource);
    if (engine == 1) {
        qel::test::AddClientServerDataSource(qel::test::Sandbox::Current().OdbcIni(), dataSource + "Pg", location);
        obj->lEngine = 1;  // the native face's member: the automation setter is read-only
        obj->SetStrDataSource((dataSource + "Pg").c_str());
    } else {
        obj->SetStrDataSource(dataSource.c_str());
    }
    obj->SetStrDirectory(location.c_str());
    if (!obj->Open2(FALSE)) {
        std::fprintf(stderr, "cannot open the benchmark database (%d)\n", static_cast<int>(obj->lErrorCode));
        std::exit(1);
    }
    return obj;
}

}  // namespace qel::bench
