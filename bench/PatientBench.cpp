// The patient cache against the database it caches, with 100,000 generated
// patients (written through the record library in one transaction, with a
// progress display; building the set itself is measured by DataPathBench):
//   BM_Search*            name (exact, prefix, contains) and number searches
//                         vs  BM_Floor*: the same work on plain in-memory
//                         data (std::vector<std::string> of the same
//                         upper-cased names or numbers of the cached patients,
//                         sorted: std::lower_bound and a copy of the keys
//                         while they match; a std::string::find loop for
//                         contains), and, secondary, BM_Sql*: the equivalent
//                         indexed query through ODBC
//   BM_PatientCacheMemory the patient set's bytes per patient once built and
//                         its indexes sorted
// The run ends with a summary line per search: its time over its floor's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/platform/Locale.h>
#include <qel/database/DatabaseObjInternal.h>

#include "bench/BenchSupport.h"

namespace {

constexpr int kPatients = 100000;

const char* kFamily[] = {"ROSSI", "RUSSO", "FERRARI", "ESPOSITO", "BIANCHI", "ROMANO", "COLOMBO", "RICCI",
                         "MARINO", "GRECO", "BRUNO", "GALLO", "CONTI", "DE LUCA", "MANCINI", "COSTA",
                         "GIORDANO", "RIZZO", "LOMBARDI", "MORETTI", "BARONE", "FONTANA", "SANTORO", "MARIANI"};
const char* kGiven[] = {"MARIO", "LUIGI", "GIULIA", "FRANCESCA", "MARCO", "ANNA", "PAOLO", "SARA",
                        "LUCA", "CHIARA", "ANDREA", "ELENA", "STEFANO", "LAURA", "DAVIDE", "MARTA"};

// Bytes the allocator has handed out and not had back.
long AllocatedBytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
}

// One opened database per engine with the generated patients, shared by
// every benchmark of that engine.
CDatabaseObj& Database(LONG engine = 2) {
    static std::map<LONG, CDatabaseObj*> databases;
    CDatabaseObj*& db = databases[engine];
    if (db == nullptr) db = [engine] {
        CDatabaseObj* obj = qel::bench::OpenScratchDatabase(engine, "QelBenchPatients");
        CDatabase& connection = *obj->GetDatabase();
        connection.BeginTrans();
        CPatientRecordset rs(obj);
        rs.Open("PATKEY=-1", nullptr, nullptr, 0);
        for (int i = 1; i <= kPatients; ++i) {
            rs.AddNew();
            CQELRecordset::GetID(&rs.m_PATID);
            rs.m_PATKEY = i;
            rs.m_PATDOCKEY = 0;
            rs.SetFieldDirty(&rs.m_PATDOCKEY);
            rs.m_PATNAME = fmt::format("{} {}", kFamily[i % 24], kGiven[(i / 24) % 16]);
            rs.m_PATNUMBER = fmt::format("P{:06d}", i);
            rs.m_PATCREATED = TIMESTAMP_STRUCT{2020, 1, static_cast<SQLUSMALLINT>(1 + i % 28), 9, 0, 0, 0};
            rs.m_PATIMGCNT = static_cast<SHORT>(i % 7);
            if (!rs.Update()) {
                std::fprintf(stderr, "\ngenerating patient %d failed\n", i);
                std::exit(1);
            }
            if (i % 10000 == 0) std::fprintf(stderr, "\rgenerating patients: %d of %d", i, kPatients);
        }
        connection.CommitTrans();
        std::fprintf(stderr, "\n");
        return obj;
    }();
    return *db;
}

void Search(benchmark::State& state, const char* name, SHORT nameMode, const char* number, SHORT numberMode) {
    CDatabaseObj& db = Database();
    LONG count = 0;
    db.SearchPatient("", 0, "", 0, FALSE, FALSE, &count);  // builds the set outside the timing
    for (auto _ : state) {
        if (!db.SearchPatient(name, nameMode, number, numberMode, FALSE, FALSE, &count))
            state.SkipWithError("search failed");
        benchmark::DoNotOptimize(count);
    }
    state.counters["found"] = count;
}

void Sql(benchmark::State& state, const char* sql, const std::string& value) {
    CDatabaseObj& db = Database();
    long found = 0;
    for (auto _ : state) {
        qel::odbc::Statement st(*db.GetDatabase());
        st.Prepare(sql);
        st.SetText(1, value);
        st.Execute();
        found = 0;
        while (st.Fetch()) {
            benchmark::DoNotOptimize(st.GetInt32(1));
            ++found;
        }
    }
    state.counters["found"] = static_cast<double>(found);
}

// The plain in-memory data the floors work on: the upper-cased names and
// numbers of the cached patients, each sorted (equal ones by key), with the
// keys alongside.
struct Column {
    std::vector<std::string> texts;
    std::vector<LONG> keys;
};

struct Floors {
    Column names, numbers;
};

const Floors& FloorData() {
    static const Floors floors = [] {
        CDatabaseObj& db = Database();
        LONG count = 0;
        db.GetPatientCount(&count);
        std::vector<std::pair<std::string, LONG>> names, numbers;
        DatabaseObjInternals::PatientSet(db)->ForEach([&](LONG key, CQELObjectData* pObject) {
            const auto* patient = static_cast<const CPatientData*>(pObject);
            names.emplace_back(qel::platform::CharUpper(patient->GetName()), key);
            numbers.emplace_back(qel::platform::CharUpper(patient->GetNumber()), key);
        });
        auto column = [](std::vector<std::pair<std::string, LONG>>& rows) {
            std::sort(rows.begin(), rows.end());
            Column c;
            for (auto& [text, key] : rows) {
                c.texts.push_back(std::move(text));
                c.keys.push_back(key);
            }
            return c;
        };
        return Floors{column(names), column(numbers)};
    }();
    return floors;
}

// lower_bound, then the keys while the texts match (equal, or beginning with the text).
void FloorSorted(benchmark::State& state, const Column& column, const std::string& text, bool prefix) {
    std::vector<LONG> found;
    for (auto _ : state) {
        found.clear();
        auto it = std::lower_bound(column.texts.begin(), column.texts.end(), text);
        for (; it != column.texts.end() && (prefix ? it->starts_with(text) : *it == text); ++it)
            found.push_back(column.keys[static_cast<size_t>(it - column.texts.begin())]);
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["found"] = static_cast<double>(found.size());
}

void FloorContains(benchmark::State& state, const Column& column, const std::string& text) {
    std::vector<LONG> found;
    for (auto _ : state) {
        found.clear();
        for (size_t i = 0; i < column.texts.size(); ++i)
            if (column.texts[i].find(text) != std::string::npos) found.push_back(column.keys[i]);
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["found"] = static_cast<double>(found.size());
}

void BM_SearchExactName(benchmark::State& s) { Search(s, "ROSSI MARIO", 0, "", 0); }
void BM_FloorExactName(benchmark::State& s) { FloorSorted(s, FloorData().names, "ROSSI MARIO", false); }
void BM_SqlExactName(benchmark::State& s) { Sql(s, "SELECT PATKEY FROM PAT200 WHERE PATNAME = ?", "ROSSI MARIO"); }
void BM_SearchPrefixName(benchmark::State& s) { Search(s, "ROSSI", 1, "", 0); }
void BM_FloorPrefixName(benchmark::State& s) { FloorSorted(s, FloorData().names, "ROSSI", true); }
void BM_SqlPrefixName(benchmark::State& s) {
    Sql(s, "SELECT PATKEY FROM PAT200 WHERE PATNAME >= ? AND PATNAME < 'ROSSJ' ORDER BY PATNAME", "ROSSI");
}
void BM_SearchExactNumber(benchmark::State& s) { Search(s, "", 0, "P050000", 0); }
void BM_FloorExactNumber(benchmark::State& s) { FloorSorted(s, FloorData().numbers, "P050000", false); }
void BM_SqlExactNumber(benchmark::State& s) { Sql(s, "SELECT PATKEY FROM PAT200 WHERE PATNUMBER = ?", "P050000"); }
void BM_SearchContainsName(benchmark::State& s) { Search(s, "ARI", 2, "", 0); }
void BM_FloorContainsName(benchmark::State& s) { FloorContains(s, FloorData().names, "ARI"); }

BENCHMARK(BM_SearchExactName);
BENCHMARK(BM_FloorExactName);
BENCHMARK(BM_SqlExactName);
BENCHMARK(BM_SearchPrefixName);
BENCHMARK(BM_FloorPrefixName);
BENCHMARK(BM_SqlPrefixName);
BENCHMARK(BM_SearchExactNumber);
BENCHMARK(BM_FloorExactNumber);
BENCHMARK(BM_SqlExactNumber);
BENCHMARK(BM_SearchContainsName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorContainsName)->Unit(benchmark::kMillisecond);

// The patient set's memory: allocator bytes in use after building it and
// sorting both indexes (what a first search or listing does), per patient.
void BM_PatientCacheMemory(benchmark::State& state) {
    CDatabaseObj& db = Database();
    long perPatient = 0;
    long indexBytes = 0;
    for (auto _ : state) {
        DatabaseObjInternals::DeleteObjectSets(db);
        const long before = AllocatedBytes();
        LONG count = 0;
        if (!db.GetPatientCount(&count) || count != kPatients) state.SkipWithError("patient set not built");
        auto& set = DatabaseObjInternals::PatientSet(db);
        indexBytes = 0;
        for (int index = 0; index < 2; ++index)
            if (const auto* sorted = set->GetSortedIndex(index)) indexBytes += static_cast<long>(sorted->MemoryUsed());
        perPatient = (AllocatedBytes() - before) / kPatients;
    }
    state.counters["bytes_per_patient"] = static_cast<double>(perPatient);
    state.counters["index_bytes_per_patient"] = static_cast<double>(indexBytes / kPatients);
    state.counters["object_size"] = static_cast<double>(sizeof(CPatientData));
}
BENCHMARK(BM_PatientCacheMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// The console output, then one line per search: its time over its floor's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration && run.iterations > 0)
                m_seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* what : {"ExactName", "PrefixName", "ExactNumber", "ContainsName"}) {
            const auto search = m_seconds.find(std::string("BM_Search") + what);
            const auto floor = m_seconds.find(std::string("BM_Floor") + what);
            if (search == m_seconds.end() || floor == m_seconds.end() || floor->second <= 0) continue;
            std::printf("ratio %-13s search / floor = %.2f  (%.3g us / %.3g us)\n", what,
                        search->second / floor->second, search->second * 1e6, floor->second * 1e6);
        }
    }

private:
    std::map<std::string, double> m_seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
