// The patient cache against the database it caches, with 100,000 generated
// patients (written through the record library in one transaction, with a
// progress display):
//   BM_BuildPatientSet    building the patient set (also reports the memory
//                         per cached patient)     vs  BM_FetchPatients: a plain
//                         ODBC SELECT and fetch of the same rows and columns;
//                         both on a SQLite file (engine:2) and on PostgreSQL
//                         (engine:1, skipped without QEL_PG_HOST/QEL_PG_PORT)
//   BM_Search*            name (exact, prefix, contains) and number searches
//                         vs  BM_Sql*: the equivalent indexed query through ODBC
#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>

#include <map>

#include "bench/BenchSupport.h"
#include "support/Workstation.h"

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
        auto* obj = new CDatabaseObj;
        obj->AddNew(TRUE, FALSE);
        if (engine == 1) {
            const std::string database = qel::bench::NewPostgresDatabase("patients");
            qel::test::AddClientServerDataSource(qel::bench::Scratch() / "odbc/odbc.ini", "QelBenchPatientsPg",
                                                 database);
            // The native face's member: the automation setter is read-only.
            obj->lEngine = 1;
            obj->SetStrDataSource("QelBenchPatientsPg");
            obj->SetStrDirectory(database.c_str());
        } else {
            obj->SetStrDataSource("QelBenchPatients");
            obj->SetStrDirectory(qel::bench::NewDatabasePath("patients").c_str());
        }
        if (!obj->Open2(FALSE)) {
            std::fprintf(stderr, "cannot open the benchmark database (%d)\n", static_cast<int>(obj->lErrorCode));
            std::exit(1);
        }
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

bool EngineAvailable(benchmark::State& state) {
    if (state.range(0) == 1 && !qel::bench::PostgresAvailable()) {
        state.SkipWithError("no PostgreSQL server (QEL_PG_HOST/QEL_PG_PORT)");
        return false;
    }
    return true;
}

void BM_BuildPatientSet(benchmark::State& state) {
    if (!EngineAvailable(state)) return;
    CDatabaseObj& db = Database(static_cast<LONG>(state.range(0)));
    long perPatient = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DatabaseObjTestAccess::DeleteObjectSets(db);
        const long before = AllocatedBytes();
        state.ResumeTiming();
        LONG count = 0;
        if (!db.GetPatientCount(&count) || count != kPatients) state.SkipWithError("patient set not built");
        state.PauseTiming();
        perPatient = (AllocatedBytes() - before) / kPatients;
        state.ResumeTiming();
    }
    state.counters["bytes_per_patient"] = static_cast<double>(perPatient);
}
BENCHMARK(BM_BuildPatientSet)->ArgName("engine")->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FetchPatients(benchmark::State& state) {
    if (!EngineAvailable(state)) return;
    CDatabaseObj& db = Database(static_cast<LONG>(state.range(0)));
    for (auto _ : state) {
        qel::odbc::Statement st(*db.GetDatabase());
        st.Prepare("SELECT PATID, PATKEY, PATDOCKEY, PATNAME, PATKANJINAME, PATNUMBER, PATCREATED, PATIMGCNT, "
                   "PATNEWESTIMG, PATBIRTHDATE, PATSEX FROM PAT200");
        st.Execute();
        long rows = 0;
        while (st.Fetch()) {
            benchmark::DoNotOptimize(st.GetText(1));
            benchmark::DoNotOptimize(st.GetInt32(2));
            benchmark::DoNotOptimize(st.GetInt32(3));
            benchmark::DoNotOptimize(st.GetText(4));
            benchmark::DoNotOptimize(st.GetText(5));
            benchmark::DoNotOptimize(st.GetText(6));
            benchmark::DoNotOptimize(st.GetTimestamp(7));
            benchmark::DoNotOptimize(st.GetInt16(8));
            benchmark::DoNotOptimize(st.GetTimestamp(9));
            benchmark::DoNotOptimize(st.GetTimestamp(10));
            benchmark::DoNotOptimize(st.GetInt16(11));
            ++rows;
        }
        if (rows != kPatients) state.SkipWithError("rows missing");
    }
}
BENCHMARK(BM_FetchPatients)->ArgName("engine")->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

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

void BM_SearchExactName(benchmark::State& s) { Search(s, "ROSSI MARIO", 0, "", 0); }
void BM_SqlExactName(benchmark::State& s) { Sql(s, "SELECT PATKEY FROM PAT200 WHERE PATNAME = ?", "ROSSI MARIO"); }
void BM_SearchPrefixName(benchmark::State& s) { Search(s, "ROSSI", 1, "", 0); }
void BM_SqlPrefixName(benchmark::State& s) {
    Sql(s, "SELECT PATKEY FROM PAT200 WHERE PATNAME >= ? AND PATNAME < 'ROSSJ' ORDER BY PATNAME", "ROSSI");
}
void BM_SearchExactNumber(benchmark::State& s) { Search(s, "", 0, "P050000", 0); }
void BM_SqlExactNumber(benchmark::State& s) { Sql(s, "SELECT PATKEY FROM PAT200 WHERE PATNUMBER = ?", "P050000"); }
void BM_SearchContainsName(benchmark::State& s) { Search(s, "ARI", 2, "", 0); }

BENCHMARK(BM_SearchExactName);
BENCHMARK(BM_SqlExactName);
BENCHMARK(BM_SearchPrefixName);
BENCHMARK(BM_SqlPrefixName);
BENCHMARK(BM_SearchExactNumber);
BENCHMARK(BM_SqlExactNumber);
BENCHMARK(BM_SearchContainsName)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
