// Creating a new database and allocating keys, each against a baseline
// measured in the same run:
//   BM_CreateDatabase       the component creating every table and first row
//   BM_CreateDatabaseShell  the sqlite3 shell running the same statements in
//                           autocommit (one process, no ODBC)
//   BM_GetNewKey            one key through the record library
//   BM_RawKeyUpdate         the same read-and-update through bare ODBC calls
//   BM_OpenCloseExisting    opening and closing an existing database through
//                           a stored profile (mutex, server, window, data
//                           source, connection, schema check, settings)
//   BM_BareConnect          an ODBC connect and disconnect to the same DSN
//   BM_OpenCreateNew        opening a new database file through a temporary
//                           profile (data source, file, tables, first rows)
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/BenchSupport.h"

namespace {

using qel::bench::NewDatabasePath;

std::unique_ptr<CDatabase> Connect(const std::string& path) {
    auto db = std::make_unique<CDatabase>();
    db->OpenEx(qel::datasource::FileEngineConnectString(path).c_str());
    return db;
}

void BM_CreateDatabase(benchmark::State& state) {
    for (auto _ : state) {
        const std::string path = NewDatabasePath("create");
        CDatabaseObj db;
        DatabaseObjInternals::Attach(db, Connect(path), 2);
        if (!DatabaseObjInternals::Schema(db).CheckAndUpgradeDatabase()) state.SkipWithError("creation failed");
        DatabaseObjInternals::Detach(db);
    }
}
BENCHMARK(BM_CreateDatabase)->Unit(benchmark::kMillisecond);

// The statements of a new database, as the component issues them.
std::string CreationScript() {
    TypeNames types = {"smallint", "integer", "char", "longvarchar", "varbinary", "longvarbinary", "timestamp"};
    std::string script = "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;\n";
    LONG key = 1;
    for (const char* name : {"TBL200", "DOC200", "IMT200", "MED200", "PAT200", "IMG200", "BMP200", "STA200", "LAY200"}) {
        const TableDescriptor* table = FindTable(name);
        script += CreateTableText(2, name, table->columns, types) + ";\n";
        for (const auto& column : table->columns)
            if (column.kind == eKindIndexed) script += CreateIndexText(name, column.extra, column.name) + ";\n";
        script += fmt::format("INSERT INTO TBL200 VALUES ({}, 1, {}, -1, NULL, NULL);\n", table->number, table->version);
        if (std::string(name) == "DOC200") script += "INSERT INTO DOC200 VALUES ('ID', 0, '', NULL);\n";
        if (std::string(name) == "IMT200") {
            for (int i = 0; i < 2; ++i) {
                script += "SELECT TBLNEXTKEY FROM TBL200 WHERE TBLNUMBER=2;\n";
                script += "UPDATE TBL200 SET TBLNEXTKEY=TBLNEXTKEY+1 WHERE TBLNUMBER=2;\n";
            }
            script += fmt::format("INSERT INTO IMT200 VALUES ({}, '', 0, 0);\n", key++);
            script += fmt::format("INSERT INTO IMT200 VALUES ({}, 'CD-ROM', 600, 640);\n", key++);
        }
        if (std::string(name) == "MED200") script += "INSERT INTO MED200 VALUES ('ID', 0, 2, '', '', 0);\n";
    }
    return script;
}

void BM_CreateDatabaseShell(benchmark::State& state) {
    const std::string script = CreationScript();
    for (auto _ : state) {
        const std::string path = NewDatabasePath("shell");
        FILE* shell = ::popen(fmt::format("sqlite3 '{}'", path).c_str(), "w");
        if (shell == nullptr) {
            state.SkipWithError("no sqlite3 shell");
            break;
        }
        std::fputs(script.c_str(), shell);
        if (::pclose(shell) != 0) state.SkipWithError("the shell failed");
    }
}
BENCHMARK(BM_CreateDatabaseShell)->Unit(benchmark::kMillisecond);

struct KeyDatabase {
    KeyDatabase() {
        DatabaseObjInternals::Attach(db, Connect(NewDatabasePath("keys")), 2);
        DatabaseObjInternals::Schema(db).CheckAndUpgradeDatabase();
    }
    ~KeyDatabase() { DatabaseObjInternals::Detach(db); }
    CDatabaseObj db;
};

void BM_GetNewKey(benchmark::State& state) {
    KeyDatabase keys;
    LONG key = 0;
    for (auto _ : state) {
        if (!keys.db.GetNewKey(4, &key)) state.SkipWithError("allocation failed");
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_GetNewKey);

void BM_RawKeyUpdate(benchmark::State& state) {
    KeyDatabase keys;
    for (auto _ : state) {
        qel::odbc::Statement read(*keys.db.GetDatabase());
        read.Prepare("SELECT TBLNEXTKEY FROM TBL200 WHERE TBLNUMBER = ?");
        read.SetInt16(1, 4);
        read.Execute();
        read.Fetch();
        const LONG key = read.GetInt32(1).value_or(0);
        read.CloseCursor();
        qel::odbc::Statement write(*keys.db.GetDatabase());
        write.Prepare("UPDATE TBL200 SET TBLNEXTKEY = ?, TBLUSER = -1 WHERE TBLNUMBER = ? AND TBLNEXTKEY = ?");
        write.SetInt32(1, key + 1);
        write.SetInt16(2, 4);
        write.SetInt32(3, key);
        if (write.Execute() != 1) state.SkipWithError("update failed");
    }
}
BENCHMARK(BM_RawKeyUpdate);

void WriteProfile(LONG number, const std::string& dsn, const std::string& path) {
    auto& profile = qel::platform::AppProfile::Current();
    const std::string section = fmt::format("DatabaseJ{}", number);
    profile.WriteProfileInt(section, "MultiUser", 0);
    profile.WriteProfileInt(section, "Default", 1);
    profile.WriteProfileString(section, "DataSource", dsn);
    profile.WriteProfileString(section, "Path", path);
    profile.WriteProfileString(section, "Name", "Bench");
    profile.WriteProfileInt(section, "CurrentDoctor", 0);
}

void BM_OpenCloseExisting(benchmark::State& state) {
    WriteProfile(7, "QelBenchOpen", NewDatabasePath("open"));
    {
        CDatabaseObj first;  // creates the database and its data source
        if (!first.Get(7) || !first.Open2(FALSE)) state.SkipWithError("first open failed");
    }
    for (auto _ : state) {
        CDatabaseObj db;
        if (!db.Get(7) || !db.Open2(FALSE) || !db.Close()) state.SkipWithError("open failed");
    }
}
BENCHMARK(BM_OpenCloseExisting)->Unit(benchmark::kMillisecond);

void BM_BareConnect(benchmark::State& state) {
    WriteProfile(8, "QelBenchBare", NewDatabasePath("bare"));
    {
        CDatabaseObj first;
        if (!first.Get(8) || !first.Open2(FALSE)) state.SkipWithError("first open failed");
    }
    for (auto _ : state) {
        CDatabase db;
        db.Open(nullptr, FALSE, FALSE, "ODBC;DSN=QelBenchBare", TRUE);
        db.Close();
    }
}
BENCHMARK(BM_BareConnect)->Unit(benchmark::kMillisecond);

void BM_OpenCreateNew(benchmark::State& state) {
    for (auto _ : state) {
        CDatabaseObj db;
        db.AddNew(TRUE, FALSE);
        db.SetStrDataSource("QelBenchNew");
        db.SetStrDirectory(NewDatabasePath("new").c_str());
        if (!db.Open2(FALSE) || !db.Close()) state.SkipWithError("creation failed");
    }
}
BENCHMARK(BM_OpenCreateNew)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
