// Key allocation: the next value of a table's counter row in TBL200, shared
// by every workstation of the database. An optimistic read-increment-write
// per attempt, retried after a pause when another workstation got there
// first.
//
// A single key (GetNewKey) retries whatever failed, as the record library
// expects; only a connection the driver knows to be lost ends it early. A
// block (GetNewKeys, the bulk loads) retries only a conflict: the row changed
// since it was read, or another connection held the lock. A failure that no
// retry can mend (a read-only database, no counter row, a refused or lost
// connection) ends the block allocation at once with its reason.
#include <qel/database/DatabaseObj.h>

#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include <fmt/format.h>

#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/DriverQuirks.h>
#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>
#include <qel/outside/Wait.h>

namespace {

constexpr int kMaxAttempts = 120;

enum class Outcome {
    Allocated,
    Conflict,  // another workstation changed or locked the row: worth another attempt
    Failed,    // anything else
    Overflow,  // the counter cannot hand out that many keys any more
};

struct Attempt {
    Outcome outcome;
    std::string reason;  // empty when allocated
};

// "table 4 (PAT200)", or "table 99" for a number the catalogue lacks.
std::string TableText(int nTable) {
    const TableDescriptor* table = FindTable(static_cast<LONG>(nTable));
    return table ? fmt::format("table {} ({})", nTable, table->name) : fmt::format("table {}", nTable);
}

// Whether the engine refused the statement because another connection held a
// lock or the transaction lost a race (PostgreSQL: serialization failure or
// deadlock); such a statement can succeed a moment later.
bool IsConflict(const CDatabaseObj& db, const CDBException& e) {
    const CDatabase* connection = db.GetDatabase();
    const auto engine = connection ? connection->Engine() : qel::odbc::Engine::Unknown;
    for (const auto& record : e.m_records)
        if (qel::odbc::IsLockError(engine, record) || record.state == "40001" || record.state == "40P01") return true;
    return e.m_records.empty() && (e.m_strSQLState == "40001" || e.m_strSQLState == "40P01");
}

Attempt FromError(const CDatabaseObj& db, const std::optional<CDBException>& error, const std::string& what) {
    if (!error) return {Outcome::Failed, what};
    const Outcome outcome = IsConflict(db, *error) ? Outcome::Conflict : Outcome::Failed;
    return {outcome, fmt::format("{}: {}", what, error->m_strError)};
}

// One read-increment-write of the counter row, on a record set of its own.
Attempt TryAllocate(CDatabaseObj* db, const std::string& filter, int nTable, LONG lCount, LONG* plFirstKey) {
    try {
        CTableRecordset rs(db);
        LONG count = 0;
        if (!rs.Open(filter.c_str(), nullptr, &count, 1))
            return FromError(*db, rs.GetLastError(), "cannot read the key row of " + TableText(nTable));
        if (count == 0) return {Outcome::Failed, "TBL200 has no key row for " + TableText(nTable)};
        if (count > 1) return {Outcome::Failed, fmt::format("TBL200 has {} key rows for {}", count, TableText(nTable))};
        const LONG next = rs.m_TBLNEXTKEY;
        if (next > std::numeric_limits<LONG>::max() - lCount)
            return {Outcome::Overflow,
                    fmt::format("the key counter of {} stands at {} and cannot hand out {} more keys",
                                TableText(nTable), next, lCount)};
        *plFirstKey = next;
        rs.Edit();
        rs.m_TBLNEXTKEY = next + lCount;
        rs.m_TBLUSER = -1;
        if (rs.Update(0)) return {Outcome::Allocated, {}};
        if (!rs.GetLastError())
            return {Outcome::Conflict, "another workstation changed the key row of " + TableText(nTable) + " first"};
        return FromError(*db, rs.GetLastError(), "cannot update the key row of " + TableText(nTable));
    } catch (const std::exception& e) {
        return {Outcome::Failed, fmt::format("key row of {}: {}", TableText(nTable), e.what())};
    } catch (...) {
        return {Outcome::Failed, "key row of " + TableText(nTable) + ": unexpected failure"};
    }
}

std::string KeyFilter(int nTable) { return fmt::format("{}={}", "TBLNUMBER", nTable); }

}  // namespace

BOOL CDatabaseObj::GetNewKey(int nTable, LONG* plKey) {
    if (plKey == nullptr) return FALSE;
    const std::string filter = KeyFilter(nTable);
    for (int failed = 0; failed < kMaxAttempts; ++failed) {
        if (failed > 0) CWait(1.0).Wait();
        const Attempt attempt = TryAllocate(this, filter, nTable, 1, plKey);
        if (attempt.outcome == Outcome::Allocated) return TRUE;
        if (attempt.outcome == Outcome::Overflow) return FALSE;
        // A connection the driver knows to be lost cannot succeed on a later attempt.
        if (m_pDatabase == nullptr || m_pDatabase->IsConnectionDead()) return FALSE;
    }
    return FALSE;
}

BOOL CDatabaseObj::GetNewKeys(int nTable, LONG lCount, LONG* plFirstKey, std::string* pFailure,
                              const std::function<void(int, const std::string&)>& onRetry) {
    const auto fail = [pFailure](std::string reason) {
        if (pFailure != nullptr) *pFailure = std::move(reason);
        return FALSE;
    };
    if (plFirstKey == nullptr) return fail("no place for the first key");
    if (lCount < 1) return fail(fmt::format("{} keys asked for; at least 1 is needed", lCount));
    const std::string filter = KeyFilter(nTable);
    std::string conflict;
    for (int failed = 0; failed < kMaxAttempts; ++failed) {
        if (failed > 0) {
            if (onRetry) onRetry(failed + 1, conflict);
            CWait(1.0).Wait();
        }
        Attempt attempt = TryAllocate(this, filter, nTable, lCount, plFirstKey);
        if (attempt.outcome == Outcome::Allocated) return TRUE;
        if (attempt.outcome != Outcome::Conflict) return fail(std::move(attempt.reason));
        conflict = std::move(attempt.reason);
    }
    return fail(fmt::format("{} attempts in a row: {}", kMaxAttempts, conflict));
}

CDatabase* CDatabaseObj::GetRecordConnection() { return bIsOpen ? m_pDatabase.get() : nullptr; }

BOOL CDatabaseObj::AllocateRecordKey(int nTable, LONG* plKey) { return GetNewKey(nTable, plKey); }
