// Key allocation from several workstations at once. Each workstation is a
// copy of this program started with --workstation, with its own machine
// folder (registry, named mutexes, ODBC files), that opens the shared
// database through a temporary profile; every iteration, each of them
// allocates kKeysPerRound keys of the patient table through GetNewKey.
//
//   BM_WorkstationKeys/engine:E/workstations:N
//       E 1: one PostgreSQL database (skipped without QEL_PG_HOST/QEL_PG_PORT)
//       E 2: one shared SQLite3 file
//   keys/s (items_per_second) is the throughput of all N together; the
//   baseline is the same engine with one workstation in the same run.
//
// Conflicting updates retry after CWait(1.0): QEL_WAIT_SCALE (inherited by
// the workstations) sets that pause, 1.0 (one second) when unset.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <list>

#include "bench/BenchSupport.h"
#include "support/Workstation.h"
#include "support/WorkstationShell.h"

namespace {

using qel::test::Workstation;
using qel::test::WorkstationProcess;

constexpr int kKeysPerRound = 25;
constexpr int kPatientTable = 4;

void BM_WorkstationKeys(benchmark::State& state) {
    const LONG engine = static_cast<LONG>(state.range(0));
    const int count = static_cast<int>(state.range(1));
    if (!qel::bench::EngineAvailable(state)) return;
    const std::string location = qel::bench::NewDatabase(engine, "keys");
    const auto root = qel::bench::Scratch() / fmt::format("machines-{}-{}", engine, count);
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string open = fmt::format("open {} Clinic {}", engine, location);

    std::list<Workstation> machines;
    std::vector<WorkstationProcess> stations;
    for (int i = 0; i < count; ++i) {
        auto& machine = machines.emplace_back(root, fmt::format("ws{}", i + 1));
        if (engine == 1) machine.AddClientServerDataSource("Clinic", location);
        stations.push_back(machine.Start(program, {qel::test::kWorkstationFlag}));
        // One at a time: the first open creates the tables.
        const std::string answer = stations.back().Send(open);
        if (answer.rfind("ok", 0) != 0) {
            state.SkipWithError(("opening a workstation failed: " + answer).c_str());
            return;
        }
    }

    const std::string keys = fmt::format("keys {} {}", kPatientTable, kKeysPerRound);
    for (auto _ : state) {
        for (auto& station : stations) station.Post(keys);
        for (auto& station : stations) {
            const std::string answer = station.Receive();
            if (answer.rfind("ok", 0) != 0) state.SkipWithError(("allocation failed: " + answer).c_str());
        }
    }
    state.SetItemsProcessed(state.iterations() * count * kKeysPerRound);
    for (auto& station : stations) station.Send("close");
}
BENCHMARK(BM_WorkstationKeys)
    ->ArgNames({"engine", "workstations"})
    ->ArgsProduct({{1, 2}, {1, 2, 4, 8}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(5.0);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], qel::test::kWorkstationFlag) == 0)
        return qel::test::RunWorkstationShell(std::cin, std::cout);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
