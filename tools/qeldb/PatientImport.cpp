#include "tools/qeldb/PatientImport.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <fmt/core.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/WriteCache.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>

#include "tools/qeldb/Failure.h"
#include "tools/qeldb/ProfileSelection.h"
#include "tools/qeldb/Progress.h"

namespace {

// How often the rows are written again after another workstation created
// one of the new doctors first.
constexpr int kMaxDoctorRaces = 5;
// Patients written per INSERT statement (one JSON parameter on both
// engines): each execution costs the SQLite driver a fresh preparation and
// PostgreSQL a round trip and a savepoint. Beyond a few thousand rows the
// document only grows; a failed batch is written again row by row to find
// the row at fault.
constexpr size_t kPatientsPerInsert = 2000;

// Reserves `count` consecutive keys of a table with one counter update:
// other workstations then allocate after the block, and a large import does
// not pay a committed write per key. While another workstation holds the
// counter it says so on stderr, at most once a second; on failure `failure`
// says why.
bool ReserveKeys(CDatabaseObj& db, int table, LONG count, LONG* first, const std::string& source,
                 std::string* failure) {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastNotice;
    const auto notice = [&](int attempt, const std::string& conflict) {
        const auto now = Clock::now();
        if (lastNotice && now - *lastNotice < std::chrono::seconds(1)) return;
        lastNotice = now;
        fmt::print(stderr, "{}: {}; retrying (attempt {} of 120)\n", source, conflict, attempt);
    };
    return db.GetNewKeys(table, count, first, failure, notice) != FALSE;
}

std::string PairKey(std::string_view name, std::string_view number) {
    std::string key(name);
    key += '\x1f';
    key += number;
    return key;
}

TIMESTAMP_STRUCT Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(local.tm_year + 1900), static_cast<SQLUSMALLINT>(local.tm_mon + 1),
                            static_cast<SQLUSMALLINT>(local.tm_mday), static_cast<SQLUSMALLINT>(local.tm_hour),
                            static_cast<SQLUSMALLINT>(local.tm_min), static_cast<SQLUSMALLINT>(local.tm_sec), 0};
}

// What the database holds already, read from the caches.
struct Existing {
    std::unordered_map<std::string, LONG> doctors;  // name -> key
    std::unordered_set<std::string> pairs;          // name and number
    std::unordered_set<std::string> numbers;        // non-empty numbers
};

bool ReadExisting(CDatabaseObj& db, Existing* existing, std::string* failure) {
    LONG count = 0;
    if (!db.GetDoctorCount(&count)) return *failure = DescribeFailure(db, "cannot read the doctors"), false;
    for (LONG i = 0; i < count; ++i) {
        LONG key = 0;
        CDoctorData* doctor = nullptr;
        if (!db.GetDoctor(i, &key) || !db.GetDoctorData(key, &doctor))
            return *failure = DescribeFailure(db, "cannot read a doctor"), false;
        existing->doctors.emplace(doctor->m_strName, key);
    }
    if (!db.GetPatientCount(&count)) return *failure = DescribeFailure(db, "cannot read the patients"), false;
    existing->pairs.reserve(static_cast<size_t>(count));
    for (LONG i = 0; i < count; ++i) {
        LONG key = 0;
        CPatientData* patient = nullptr;
        if (!db.GetPatient(i, &key) || !db.GetPatientData(key, &patient))
            return *failure = DescribeFailure(db, "cannot read a patient"), false;
        existing->pairs.insert(PairKey(patient->GetName(), patient->GetNumber()));
        if (!patient->GetNumber().empty()) existing->numbers.emplace(patient->GetNumber());
    }
    return true;
}

// Rows that clash with the database or an earlier row of the input.
void FindDuplicates(const std::vector<PatientRow>& rows, const Existing& existing, bool uniqueNumbers,
                    std::vector<RowProblem>* problems, std::vector<const PatientRow*>* accepted) {
    std::unordered_map<std::string, int> pairLines;    // first line of each pair in the input
    std::unordered_map<std::string, int> numberLines;  // first line of each number in the input
    for (const PatientRow& row : rows) {
        const std::string pair = PairKey(row.name, row.number);
        if (existing.pairs.count(pair) != 0) {
            problems->push_back({row.line, fmt::format("patient \"{}\" with number \"{}\" is already in the database",
                                                       row.name, row.number)});
            continue;
        }
        if (const auto earlier = pairLines.find(pair); earlier != pairLines.end()) {
            problems->push_back({row.line, fmt::format("patient \"{}\" with number \"{}\" repeats line {}", row.name,
                                                       row.number, earlier->second)});
            continue;
        }
        if (uniqueNumbers && !row.number.empty()) {
            if (existing.numbers.count(row.number) != 0) {
                problems->push_back({row.line, fmt::format("number \"{}\" is already in the database, and the "
                                                           "database does not allow duplicate patient IDs",
                                                           row.number)});
                continue;
            }
            if (const auto earlier = numberLines.find(row.number); earlier != numberLines.end()) {
                problems->push_back({row.line, fmt::format("number \"{}\" repeats line {}, and the database does not "
                                                           "allow duplicate patient IDs",
                                                           row.number, earlier->second)});
                continue;
            }
            numberLines.emplace(row.number, row.line);
        }
        pairLines.emplace(pair, row.line);
        accepted->push_back(&row);
    }
}

std::string RecordsetError(const CQELRecordset& rs) {
    return rs.GetLastError() ? rs.GetLastError()->m_strError : std::string("the row was not written");
}

// The rows and what the caches receive once they are committed.
struct Written {
    std::vector<std::unique_ptr<CDoctorData>> doctors;
    std::vector<std::unique_ptr<CPatientData>> patients;
};

// Moves the new doctors that another workstation has created meanwhile from
// `newDoctors` to the existing ones, with their rows in `adopted` for the
// cache; false when there was none (or the doctors cannot be read).
bool AdoptDoctorsCreatedMeanwhile(CDatabaseObj& db, std::vector<std::string>* newDoctors, Existing* existing,
                                  std::vector<std::unique_ptr<CDoctorData>>* adopted) {
    CDoctorRecordset rs(&db);
    if (!rs.Open(nullptr, nullptr, nullptr, 0)) return false;
    const size_t before = newDoctors->size();
    for (; !rs.IsEOF(); rs.MoveNext()) {
        const auto mine = std::find(newDoctors->begin(), newDoctors->end(), rs.m_DOCNAME);
        if (mine == newDoctors->end()) continue;
        newDoctors->erase(mine);
        existing->doctors.emplace(rs.m_DOCNAME, rs.m_DOCKEY);
        adopted->push_back(std::make_unique<CDoctorData>(rs));
    }
    return newDoctors->size() < before;
}

class ImportRun {
public:
    ImportRun(CDatabaseObj& db, const ImportOptions& options) : m_db(db), m_options(options) {}

    ImportOutcome Run(const ParsedPatients& parsed);

private:
    // Prints the message and gives the outcome of a failed import.
    // A database failure (2) also says whether the server went away and
    // where the log is.
    ImportOutcome Fail(int exitCode, const std::string& message) {
        std::string text = fmt::format("{}: {}", m_options.source, message);
        const CDatabase* connection = m_db.GetDatabase();
        if (exitCode == 2 && connection != nullptr && connection->IsConnectionDead())
            text += " (the connection to the database server is lost)";
        if (exitCode == 2) PrintFailure(stderr, text);
        else fmt::print(stderr, "{}\n", text);
        m_outcome.exitCode = exitCode;
        return m_outcome;
    }
    // The first reasonsShown refused rows, then how many more there are: a
    // file that is all duplicates should not print one line per row.
    void ReportProblems(const std::vector<RowProblem>& problems) const {
        const size_t shown = m_options.reasonsShown == 0 ? problems.size()
                                                         : std::min(problems.size(), m_options.reasonsShown);
        for (size_t i = 0; i < shown; ++i)
            fmt::print(stderr, "{}:{}: {}\n", m_options.source, problems[i].line, problems[i].reason);
        if (shown < problems.size())
            fmt::print(stderr, "{}: … and {} more refused row(s) not shown (--all-reasons shows every one)\n",
                       m_options.source, problems.size() - shown);
    }
    bool WriteRows(const std::vector<const PatientRow*>& rows, const std::vector<std::string>& newDoctors,
                   const Existing& existing, LONG firstDoctorKey, LONG firstPatientKey, Written* written);

    CDatabaseObj& m_db;
    const ImportOptions& m_options;
    ImportOutcome m_outcome;
    std::string m_writeFailure;
};

ImportOutcome ImportRun::Run(const ParsedPatients& parsed) {
    const auto started = std::chrono::steady_clock::now();
    if (ReportUnreadable(parsed, m_options.source)) {
        m_outcome.exitCode = 1;
        return m_outcome;
    }

    Existing existing;
    std::string failure;
    std::vector<RowProblem> problems = parsed.problems;
    std::vector<const PatientRow*> accepted;
    {
        Phase phase("checking the rows against the database", m_options.showProgress);
        if (!ReadExisting(m_db, &existing, &failure)) return Fail(2, failure);
        FindDuplicates(parsed.rows, existing, !m_db.bAllowDuplicatePatientIDs, &problems, &accepted);
    }
    std::stable_sort(problems.begin(), problems.end(),
                     [](const RowProblem& a, const RowProblem& b) { return a.line < b.line; });
    ReportProblems(problems);
    if (!problems.empty() && !m_options.skipInvalid)
        return Fail(1, fmt::format("nothing imported: {} invalid row(s); fix them or use --skip-invalid",
                                   problems.size()));
    m_outcome.skipped = static_cast<long>(problems.size());

    std::vector<std::string> newDoctors;
    std::unordered_set<std::string> seen;
    for (const PatientRow* row : accepted)
        if (!row->doctor.empty() && existing.doctors.count(row->doctor) == 0 && seen.insert(row->doctor).second)
            newDoctors.push_back(row->doctor);
    // In name order, so that imports creating the same doctors at once insert
    // them in one order and never wait on each other in a cycle.
    std::sort(newDoctors.begin(), newDoctors.end());

    // Keys first, each reservation committed on its own, so that the long
    // transaction below holds no counter row.
    LONG firstDoctorKey = 0;
    LONG firstPatientKey = 0;
    const auto doctorCount = static_cast<LONG>(newDoctors.size());
    const auto patientCount = static_cast<LONG>(accepted.size());
    std::string keyFailure;
    if (doctorCount > 0 && !ReserveKeys(m_db, eTableDOC, doctorCount, &firstDoctorKey, m_options.source, &keyFailure))
        return Fail(2, "cannot allocate doctor keys: " + keyFailure + "; nothing was imported");
    if (patientCount > 0 &&
        !ReserveKeys(m_db, eTablePAT, patientCount, &firstPatientKey, m_options.source, &keyFailure))
        return Fail(2, "cannot allocate patient keys: " + keyFailure + "; nothing was imported");

    // Doctor names are unique. When another workstation creates one of our
    // new doctors after we read the doctors, our insert of it fails (on
    // PostgreSQL once the other transaction commits) and the whole write is
    // rolled back. That doctor is the one we need, so the rows are written
    // again referring to it; its reserved key stays unused.
    Written written;
    std::vector<std::unique_ptr<CDoctorData>> adopted;
    for (int race = 0; patientCount > 0; ++race) {
        if (WriteRows(accepted, newDoctors, existing, firstDoctorKey, firstPatientKey, &written)) break;
        written = Written();
        if (race == kMaxDoctorRaces || !AdoptDoctorsCreatedMeanwhile(m_db, &newDoctors, &existing, &adopted))
            return Fail(2, m_writeFailure + "; nothing was imported");
    }

    m_outcome.doctors = static_cast<long>(written.doctors.size());
    for (auto& doctor : adopted) written.doctors.push_back(std::move(doctor));  // the cache needs them as well
    for (auto& doctor : written.doctors) {
        const LONG key = doctor->m_lKey;
        if (!m_db.AddDoctorData(doctor.get()))
            return Fail(2, DescribeFailure(m_db, fmt::format("the rows are saved, but doctor {} did not enter the "
                                                             "cache; reopen the database", key)));
        doctor.release();  // the doctor set owns it now
    }
    for (auto& patient : written.patients) {
        const LONG key = patient->m_lKey;
        if (!m_db.AddPatientData(patient.get()))
            return Fail(2, DescribeFailure(m_db, fmt::format("the rows are saved, but patient {} did not enter the "
                                                             "cache; reopen the database", key)));
        patient.release();  // the patient set owns it now
    }
    m_outcome.patients = patientCount;
    m_outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return m_outcome;
}

bool ImportRun::WriteRows(const std::vector<const PatientRow*>& rows, const std::vector<std::string>& newDoctors,
                          const Existing& existing, LONG firstDoctorKey, LONG firstPatientKey, Written* written) {
    CDatabase* connection = m_db.GetDatabase();
    if (connection == nullptr || !m_db.bIsOpen) {
        m_writeFailure = "the database is not open";
        return false;
    }
    // Before the transaction: SQLite fixes where its statement journals go
    // when the transaction first writes.
    const qel::odbc::WriteCache cache(*connection);
    const auto fail = [&](std::string why) {
        m_writeFailure = std::move(why);
        try {
            connection->Rollback();
        } catch (const std::exception&) {
            // The connection is gone; the engine drops the transaction with it.
        }
        return false;
    };
    try {
        if (!connection->BeginTrans()) return fail("cannot start a transaction");
        // A write that matches no row comes first. SQLite starts a transaction
        // as a reader; one that has read cannot become the writer once another
        // workstation committed since its read, and would wait out the busy
        // timeout. Writing first takes the write lock before any read.
        connection->ExecuteSQL("UPDATE DOC200 SET DOCNAME = DOCNAME WHERE DOCKEY = -1");
        std::unordered_map<std::string, LONG> doctorKeys = existing.doctors;
        std::unique_ptr<Progress> progress;
        if (m_options.showProgress)
            progress = std::make_unique<Progress>(newDoctors.empty() ? "writing patients" : "writing doctors and patients",
                                                  static_cast<long>(newDoctors.size() + rows.size()));

        CDoctorRecordset doctors(&m_db);
        if (!doctors.Open("DOCKEY=-1", nullptr, nullptr, 0)) return fail("doctors: " + RecordsetError(doctors));
        for (size_t i = 0; i < newDoctors.size(); ++i) {
            doctors.AddNew();
            CQELRecordset::GetID(&doctors.m_DOCID);
            doctors.m_DOCKEY = firstDoctorKey + static_cast<LONG>(i);
            doctors.m_DOCNAME = newDoctors[i];
            if (!doctors.Update(0))
                return fail(fmt::format("doctor \"{}\": {}", newDoctors[i], RecordsetError(doctors)));
            written->doctors.push_back(std::make_unique<CDoctorData>(doctors));
            doctorKeys.emplace(newDoctors[i], doctors.m_DOCKEY);
            if (progress) progress->Advance();
        }

        const TIMESTAMP_STRUCT created = Now();
        CPatientRecordset patients(&m_db);
        if (!patients.Open("PATKEY=-1", nullptr, nullptr, 0)) return fail("patients: " + RecordsetError(patients));
        patients.BatchInserts(kPatientsPerInsert);
        // The line of the row that failed in the batch ending at row `last`.
        const auto batchFailure = [&](size_t last) {
            const size_t first = last - last % kPatientsPerInsert;
            const size_t failed = first + patients.GetFailedBatchRow().value_or(last - first);
            return fail(fmt::format("line {}: {}", rows[std::min(failed, last)]->line, RecordsetError(patients)));
        };
        written->patients.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const PatientRow& row = *rows[i];
            patients.AddNew();
            CQELRecordset::GetID(&patients.m_PATID);
            patients.m_PATKEY = firstPatientKey + static_cast<LONG>(i);
            patients.m_PATDOCKEY = row.doctor.empty() ? 0 : doctorKeys.at(row.doctor);
            patients.SetFieldDirty(&patients.m_PATDOCKEY);
            patients.m_PATNAME = row.name;
            patients.m_PATKANJINAME = row.kanjiName;
            patients.m_PATNUMBER = row.number;
            patients.SetFieldDirty(&patients.m_PATNUMBER);  // an empty number is stored as empty text
            patients.m_PATCREATED = created;
            patients.SetFieldDirty(&patients.m_PATIMGCNT);
            if (!row.birth.Empty())
                patients.m_PATBIRTHDATE = TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(row.birth.year),
                                                           static_cast<SQLUSMALLINT>(row.birth.month),
                                                           static_cast<SQLUSMALLINT>(row.birth.day), 0, 0, 0, 0};
            patients.m_PATSEX = row.sex;
            patients.SetFieldDirty(&patients.m_PATSEX);
            if (!patients.Update(0)) return batchFailure(i);
            written->patients.push_back(std::make_unique<CPatientData>(patients));
            if (progress) progress->Advance();
        }
        if (!rows.empty() && !patients.FlushInserts()) return batchFailure(rows.size() - 1);
        if (progress) progress->Finish();
        bool committed = false;
        {
            Phase phase("committing", m_options.showProgress);
            committed = connection->CommitTrans() != FALSE;
        }
        if (!committed) return fail("the transaction could not be committed");
        return true;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

}  // namespace

ImportOutcome ImportPatients(CDatabaseObj& db, const ParsedPatients& parsed, const ImportOptions& options) {
    return ImportRun(db, options).Run(parsed);
}

bool ReportUnreadable(const ParsedPatients& parsed, const std::string& source) {
    if (parsed.fatal.empty()) return false;
    if (parsed.fatalLine > 0) fmt::print(stderr, "{}:{}: {}\n", source, parsed.fatalLine, parsed.fatal);
    else fmt::print(stderr, "{}: {}\n", source, parsed.fatal);
    return true;
}

std::string ImportSummary(const ImportOutcome& outcome) {
    std::string text = fmt::format("imported {} patient{}, {} new doctor{}", outcome.patients,
                                   outcome.patients == 1 ? "" : "s", outcome.doctors, outcome.doctors == 1 ? "" : "s");
    if (outcome.skipped > 0)
        text += fmt::format(", skipped {} invalid row{}", outcome.skipped, outcome.skipped == 1 ? "" : "s");
    return text + fmt::format(", in {:.1f} s", outcome.seconds);
}
