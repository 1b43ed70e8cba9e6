// The data path against the floor of the same drivers: every benchmark here
// times the component and a baseline written on the bare ODBC API (no
// qel::odbc), in turns within each iteration, and reports the ratio of the
// two as the counter "ratio" (the component's time over the baseline's).
//
//   BM_StatementFetch   qel::odbc::Statement reading the 11 PAT200 columns of
//                       every row   vs  SQLExecDirect, SQLBindCol of every
//                       column with a row array, SQLFetch loop
//   BM_BuildPatientSet  the patient set of 100,000 (first GetPatientCount
//                       after the caches were dropped; also reports the
//                       allocator bytes per cached patient)  vs  the same fetch
//   BM_RecordsetInsert  10,000 rows through CPatientRecordset AddNew/Update in
//                       one transaction  vs  one prepared INSERT executed per
//                       row ("ratio"), and one executed with parameter arrays
//                       of 500 rows ("ratio_array"); both rolled back
//
// Argument: the engine, 2 a SQLite file, 1 the PostgreSQL server named by
// QEL_PG_HOST/QEL_PG_PORT/QEL_PG_USER (skipped without it).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "bench/BenchSupport.h"

namespace {

constexpr int kPatients = 100000;
constexpr int kInsertRows = 10000;
constexpr SQLULEN kFetchBlock = 256;
constexpr SQLULEN kParameterBlock = 500;

const char* kFamily[] = {"ROSSI", "RUSSO", "FERRARI", "ESPOSITO", "BIANCHI", "ROMANO", "COLOMBO", "RICCI",
                         "MARINO", "GRECO", "BRUNO", "GALLO", "CONTI", "DE LUCA", "MANCINI", "COSTA",
                         "GIORDANO", "RIZZO", "LOMBARDI", "MORETTI", "BARONE", "FONTANA", "SANTORO", "MARIANI"};
const char* kGiven[] = {"MARIO", "LUIGI", "GIULIA", "FRANCESCA", "MARCO", "ANNA", "PAOLO", "SARA",
                        "LUCA", "CHIARA", "ANDREA", "ELENA", "STEFANO", "LAURA", "DAVIDE", "MARTA"};

const char* kSelect =
    "SELECT PATID, PATKEY, PATDOCKEY, PATNAME, PATKANJINAME, PATNUMBER, PATCREATED, PATIMGCNT, PATNEWESTIMG, "
    "PATBIRTHDATE, PATSEX FROM PAT200";
const char* kInsert =
    "INSERT INTO PAT200 (PATID, PATKEY, PATDOCKEY, PATNAME, PATKANJINAME, PATNUMBER, PATCREATED, PATIMGCNT, "
    "PATNEWESTIMG, PATBIRTHDATE, PATSEX) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

long AllocatedBytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
    SQLCHAR state[6] = {0}, message[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof(message), &length);
    std::fprintf(stderr, "%s failed: %s %s\n", what, state, message);
    std::exit(1);
}

// A connection of the bare API to the database the component has open.
class BareConnection {
public:
    explicit BareConnection(std::string connect) {
        if (connect.rfind("ODBC;", 0) == 0) connect.erase(0, 5);
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        Check(SQLDriverConnect(m_dbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS, nullptr, 0,
                               nullptr, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, m_dbc, "SQLDriverConnect");
    }
    ~BareConnection() {
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    SQLHDBC Get() const { return m_dbc; }
    void SetAutocommit(bool on) {
        SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    }
    void End(SQLSMALLINT completion) { Check(SQLEndTran(SQL_HANDLE_DBC, m_dbc, completion), SQL_HANDLE_DBC, m_dbc, "SQLEndTran"); }

private:
    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
};

// Column-wise parameter buffers of the PAT200 INSERT, `rows` rows deep,
// bound once.
struct InsertBuffers {
    explicit InsertBuffers(SQLULEN depth)
        : rows(depth), id(depth * 33), name(depth * 65), kanji(depth * 65), number(depth * 65), key(depth),
          doctor(depth), count(depth), sex(depth), created(depth), lengths(depth * 11) {}

    void Bind(SQLHSTMT st) {
        SQLULEN n = 0;
        const auto text = [&](std::vector<char>& buffer, SQLLEN width, SQLULEN size) {
            const SQLULEN column = n++;
            Check(SQLBindParameter(st, static_cast<SQLUSMALLINT>(column + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                   size, 0, buffer.data(), width, &lengths[column * rows]),
                  SQL_HANDLE_STMT, st, "SQLBindParameter");
        };
        const auto fixed = [&](void* buffer, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size) {
            const SQLULEN column = n++;
            Check(SQLBindParameter(st, static_cast<SQLUSMALLINT>(column + 1), SQL_PARAM_INPUT, cType, sqlType, size, 0,
                                   buffer, 0, &lengths[column * rows]),
                  SQL_HANDLE_STMT, st, "SQLBindParameter");
        };
        text(id, 33, 32);
        fixed(key.data(), SQL_C_SLONG, SQL_INTEGER, 10);
        fixed(doctor.data(), SQL_C_SLONG, SQL_INTEGER, 10);
        text(name, 65, 64);
        text(kanji, 65, 64);
        text(number, 65, 64);
        fixed(created.data(), SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23);
        fixed(count.data(), SQL_C_SSHORT, SQL_SMALLINT, 5);
        fixed(created.data(), SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23);  // filled as NULL
        fixed(created.data(), SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23);  // filled as NULL
        fixed(sex.data(), SQL_C_SSHORT, SQL_SMALLINT, 5);
    }

    // Row `r` of the buffers holds patient `i`.
    void Fill(SQLULEN r, int i) {
        const auto text = [&](std::vector<char>& buffer, std::size_t width, int column, const std::string& value) {
            std::memcpy(&buffer[r * width], value.data(), value.size());
            lengths[static_cast<SQLULEN>(column) * rows + r] = static_cast<SQLLEN>(value.size());
        };
        text(id, 33, 0, fmt::format("{:016X}{:016X}", 0x5EED0000ull + static_cast<unsigned>(i), 0xC0FFEEull * i));
        key[r] = i;
        doctor[r] = 0;
        text(name, 65, 3, fmt::format("{} {}", kFamily[i % 24], kGiven[(i / 24) % 16]));
        text(kanji, 65, 4, "");
        text(number, 65, 5, fmt::format("P{:06d}", i));
        created[r] = SQL_TIMESTAMP_STRUCT{2020, 1, static_cast<SQLUSMALLINT>(1 + i % 28), 9, 0, 0, 0};
        count[r] = static_cast<SQLSMALLINT>(i % 7);
        sex[r] = static_cast<SQLSMALLINT>(i % 3);
        for (int column : {1, 2, 6, 7, 10}) lengths[static_cast<SQLULEN>(column) * rows + r] = 0;
        for (int column : {8, 9}) lengths[static_cast<SQLULEN>(column) * rows + r] = SQL_NULL_DATA;
    }

    SQLULEN rows;
    std::vector<char> id, name, kanji, number;
    std::vector<SQLINTEGER> key, doctor;
    std::vector<SQLSMALLINT> count, sex;
    std::vector<SQL_TIMESTAMP_STRUCT> created;
    std::vector<SQLLEN> lengths;
};

// Inserts patients `first` … `first + n - 1` with one prepared INSERT,
// `block` rows per execution, in the connection's open transaction.
void BareInsert(SQLHDBC dbc, int first, int n, SQLULEN block) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    Check(SQLPrepare(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kInsert)), SQL_NTS), SQL_HANDLE_STMT, st,
          "SQLPrepare");
    InsertBuffers buffers(block);
    if (block > 1)
        Check(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(block), 0), SQL_HANDLE_STMT, st,
              "SQL_ATTR_PARAMSET_SIZE");
    buffers.Bind(st);
    for (int i = first; i < first + n;) {
        const SQLULEN rows = std::min<SQLULEN>(block, static_cast<SQLULEN>(first + n - i));
        if (rows != block)
            SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
        for (SQLULEN r = 0; r < rows; ++r) buffers.Fill(r, i + static_cast<int>(r));
        Check(SQLExecute(st), SQL_HANDLE_STMT, st, "SQLExecute");
        i += static_cast<int>(rows);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// Reads every row of PAT200 into bound column arrays; the row count.
long BareFetch(SQLHDBC dbc) {
    struct Column {
        SQLSMALLINT cType;
        SQLLEN width;
        std::vector<char> data;
        std::vector<SQLLEN> indicators;
    };
    std::array<Column, 11> columns = {{{SQL_C_CHAR, 129, {}, {}},
                                       {SQL_C_SLONG, 4, {}, {}},
                                       {SQL_C_SLONG, 4, {}, {}},
                                       {SQL_C_CHAR, 257, {}, {}},
                                       {SQL_C_CHAR, 257, {}, {}},
                                       {SQL_C_CHAR, 257, {}, {}},
                                       {SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT), {}, {}},
                                       {SQL_C_SSHORT, 2, {}, {}},
                                       {SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT), {}, {}},
                                       {SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT), {}, {}},
                                       {SQL_C_SSHORT, 2, {}, {}}}};
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kFetchBlock), 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        Column& column = columns[c];
        column.data.resize(static_cast<std::size_t>(column.width) * kFetchBlock);
        column.indicators.resize(kFetchBlock);
        SQLBindCol(st, static_cast<SQLUSMALLINT>(c + 1), column.cType, column.data.data(), column.width,
                   column.indicators.data());
    }
    Check(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSelect)), SQL_NTS), SQL_HANDLE_STMT, st,
          "SQLExecDirect");
    long rows = 0;
    long bytes = 0;
    while (SQL_SUCCEEDED(SQLFetch(st))) {
        rows += static_cast<long>(fetched);
        for (SQLULEN r = 0; r < fetched; ++r) bytes += columns[3].indicators[r];
    }
    benchmark::DoNotOptimize(bytes);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return rows;
}

struct EngineDatabase {
    CDatabaseObj* object = nullptr;
    std::unique_ptr<BareConnection> bare;
};

// One opened database per engine holding the generated patients.
EngineDatabase& Database(LONG engine) {
    static std::map<LONG, EngineDatabase> databases;
    EngineDatabase& db = databases[engine];
    if (db.object != nullptr) return db;
    CDatabaseObj* obj = qel::bench::OpenScratchDatabase(engine, "QelBenchDataPath");
    db.object = obj;
    db.bare = std::make_unique<BareConnection>(obj->GetDatabase()->GetConnect());
    db.bare->SetAutocommit(false);
    BareInsert(db.bare->Get(), 1, kPatients, 1);
    db.bare->End(SQL_COMMIT);
    db.bare->SetAutocommit(true);
    return db;
}

using qel::bench::EngineAvailable;

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times `ours` and `floor` in turns; the iteration time is ours.
// `prepare` and `finish`, when given, run before and after each of our
// turns without being timed (undoing what the previous turn left behind,
// reading what this one built).
void Compare(benchmark::State& state, const std::function<void()>& ours, const std::function<void()>& floor,
             const char* counter = "ratio", const std::function<void()>& prepare = {},
             const std::function<void()>& finish = {}) {
    double oursTotal = 0, floorTotal = 0;
    for (auto _ : state) {
        if (prepare) prepare();
        const double mine = Seconds(ours);
        if (finish) finish();
        floorTotal += Seconds(floor);
        oursTotal += mine;
        state.SetIterationTime(mine);
    }
    state.counters[counter] = oursTotal / floorTotal;
    state.counters["floor_ms"] = 1000.0 * floorTotal / static_cast<double>(state.iterations());
}

void BM_StatementFetch(benchmark::State& state) {
    if (!EngineAvailable(state)) return;
    EngineDatabase& db = Database(static_cast<LONG>(state.range(0)));
    using qel::odbc::ResultKind;
    Compare(
        state,
        [&] {
            qel::odbc::Statement st(*db.object->GetDatabase());
            // Read as the caches read: declared columns, executed directly.
            st.BindResult({{ResultKind::Text, 32}, {ResultKind::Int32}, {ResultKind::Int32}, {ResultKind::Text, 64},
                           {ResultKind::Text, 64}, {ResultKind::Text, 64}, {ResultKind::Timestamp},
                           {ResultKind::Int16}, {ResultKind::Timestamp}, {ResultKind::Timestamp}, {ResultKind::Int16}});
            st.ExecuteDirect(kSelect);
            std::string id, name, kanji, number;
            long rows = 0;
            while (st.Fetch()) {
                st.ReadText(1, id);
                benchmark::DoNotOptimize(st.GetInt32(2));
                benchmark::DoNotOptimize(st.GetInt32(3));
                st.ReadText(4, name);
                st.ReadText(5, kanji);
                st.ReadText(6, number);
                benchmark::DoNotOptimize(st.GetTimestamp(7));
                benchmark::DoNotOptimize(st.GetInt16(8));
                benchmark::DoNotOptimize(st.GetTimestamp(9));
                benchmark::DoNotOptimize(st.GetTimestamp(10));
                benchmark::DoNotOptimize(st.GetInt16(11));
                ++rows;
            }
            if (rows != kPatients) state.SkipWithError("rows missing");
        },
        [&] {
            if (BareFetch(db.bare->Get()) != kPatients) state.SkipWithError("bare rows missing");
        });
}
BENCHMARK(BM_StatementFetch)->ArgName("engine")->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_BuildPatientSet(benchmark::State& state) {
    if (!EngineAvailable(state)) return;
    EngineDatabase& db = Database(static_cast<LONG>(state.range(0)));
    // The previous turn's set is freed, and the allocator read, outside the
    // timed build.
    long before = 0, perPatient = 0;
    Compare(
        state,
        [&] {
            LONG count = 0;
            if (!db.object->GetPatientCount(&count) || count != kPatients) state.SkipWithError("patient set not built");
        },
        [&] {
            if (BareFetch(db.bare->Get()) != kPatients) state.SkipWithError("bare rows missing");
        },
        "ratio",
        [&] {
            DatabaseObjInternals::DeleteObjectSets(*db.object);
            before = AllocatedBytes();
        },
        [&] { perPatient = (AllocatedBytes() - before) / kPatients; });
    state.counters["bytes_per_patient"] = static_cast<double>(perPatient);
}
BENCHMARK(BM_BuildPatientSet)->ArgName("engine")->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void RecordsetInsert(CDatabaseObj& obj, int first) {
    CDatabase& connection = *obj.GetDatabase();
    connection.BeginTrans();
    CPatientRecordset rs(&obj);
    rs.Open("PATKEY=-1", nullptr, nullptr, 0);
    for (int i = first; i < first + kInsertRows; ++i) {
        rs.AddNew();
        rs.m_PATID = fmt::format("{:016X}{:016X}", 0xBEEF0000ull + static_cast<unsigned>(i), 0xC0FFEEull * i);
        rs.m_PATKEY = i;
        rs.SetFieldDirty(&rs.m_PATDOCKEY);
        rs.m_PATNAME = fmt::format("{} {}", kFamily[i % 24], kGiven[(i / 24) % 16]);
        rs.SetFieldDirty(&rs.m_PATKANJINAME);
        rs.m_PATNUMBER = fmt::format("P{:06d}", i);
        rs.m_PATCREATED = TIMESTAMP_STRUCT{2020, 1, static_cast<SQLUSMALLINT>(1 + i % 28), 9, 0, 0, 0};
        rs.m_PATIMGCNT = static_cast<SHORT>(i % 7);
        rs.SetFieldDirty(&rs.m_PATIMGCNT);
        rs.m_PATSEX = static_cast<SHORT>(i % 3);
        rs.SetFieldDirty(&rs.m_PATSEX);
        if (!rs.Update()) {
            std::fprintf(stderr, "record set insert %d failed\n", i);
            std::exit(1);
        }
    }
    connection.Rollback();
}

void BM_RecordsetInsert(benchmark::State& state) {
    if (!EngineAvailable(state)) return;
    EngineDatabase& db = Database(static_cast<LONG>(state.range(0)));
    const int first = kPatients + 1;
    const auto bare = [&](SQLULEN block) {
        return [&db, first, block] {
            db.bare->SetAutocommit(false);
            BareInsert(db.bare->Get(), first, kInsertRows, block);
            db.bare->End(SQL_ROLLBACK);
            db.bare->SetAutocommit(true);
        };
    };
    double oursTotal = 0, rowTotal = 0, arrayTotal = 0;
    for (auto _ : state) {
        const double mine = Seconds([&] { RecordsetInsert(*db.object, first); });
        rowTotal += Seconds(bare(1));
        arrayTotal += Seconds(bare(kParameterBlock));
        oursTotal += mine;
        state.SetIterationTime(mine);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["ratio"] = oursTotal / rowTotal;
    state.counters["ratio_array"] = oursTotal / arrayTotal;
    state.counters["floor_ms"] = 1000.0 * rowTotal / iterations;
    state.counters["array_ms"] = 1000.0 * arrayTotal / iterations;
}
BENCHMARK(BM_RecordsetInsert)->ArgName("engine")->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
