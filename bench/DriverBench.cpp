// The file engine's journal and synchronisation settings: 1,000 autocommitted
// inserts through the SQLite3 ODBC driver per iteration, with
//   0  JournalMode=DELETE, SyncPragma=FULL   (the driver's defaults)
//   1  JournalMode=WAL,    SyncPragma=FULL   (what the component writes)
//   2  JournalMode=WAL,    SyncPragma=NORMAL (faster; can lose the last
//                                             commits on power loss)
#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

namespace {

void BM_AutocommitInserts(benchmark::State& state) {
    static const char* kModes[] = {"JournalMode=DELETE;SyncPragma=FULL", "JournalMode=WAL;SyncPragma=FULL",
                                   "JournalMode=WAL;SyncPragma=NORMAL"};
    const std::string path = qel::bench::NewDatabasePath("journal");
    CDatabase db;
    db.OpenEx(fmt::format("DRIVER=SQLite3;Database={};StepAPI=1;Timeout=30000;{}", path, kModes[state.range(0)]).c_str());
    db.ExecuteSQL("CREATE TABLE T (A INTEGER, B CHAR(64))");
    qel::odbc::Statement insert(db);
    insert.Prepare("INSERT INTO T VALUES (?, ?)");
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            insert.SetInt32(1, ++n);
            insert.SetText(2, "ROSSI MARIO");
            insert.Execute();
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_AutocommitInserts)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
