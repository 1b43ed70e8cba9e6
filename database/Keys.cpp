// Key allocation: the next value of a table's counter row in TBL200, shared
// by every workstation of the database. An optimistic read-increment-write
// per attempt, retried after a pause when another workstation got there
// first. A connection the driver knows to be lost cannot succeed on a later
// attempt, so the retries end there instead of pausing two minutes.
#include <qel/database/DatabaseObj.h>

#include <limits>

#include <fmt/format.h>

#include <qel/outside/Wait.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/records/Recordset.h>

namespace {

constexpr int kMaxAttempts = 120;

}  // namespace

BOOL CDatabaseObj::GetNewKey(int nTable, LONG* plKey) { return GetNewKeys(nTable, 1, plKey); }

BOOL CDatabaseObj::GetNewKeys(int nTable, LONG lCount, LONG* plFirstKey) {
    if (lCount < 1 || plFirstKey == nullptr) return FALSE;
    const std::string filter = fmt::format("{}={}", "TBLNUMBER", nTable);
    int failed = 0;
    std::unique_ptr<CTableRecordset> rs;
    while (failed < kMaxAttempts) {
        if (failed > 0) CWait(1.0).Wait();
        rs = std::make_unique<CTableRecordset>(this);
        try {
            LONG count = 0;
            if (rs->Open(filter.c_str(), nullptr, &count, 1) && count == 1) {
                const LONG next = rs->m_TBLNEXTKEY;
                if (next > std::numeric_limits<LONG>::max() - lCount) return FALSE;  // the counter would overflow
                *plFirstKey = next;
                rs->Edit();
                rs->m_TBLNEXTKEY = next + lCount;
                rs->m_TBLUSER = -1;
                if (rs->Update(0)) break;
            }
        } catch (...) {
            // Any failure of the attempt counts like a conflict.
        }
        ++failed;
        if (m_pDatabase == nullptr || m_pDatabase->IsConnectionDead()) {
            failed = kMaxAttempts;
        }
    }
    rs.reset();
    return failed < kMaxAttempts ? TRUE : FALSE;
}

CDatabase* CDatabaseObj::GetRecordConnection() { return bIsOpen ? m_pDatabase.get() : nullptr; }

BOOL CDatabaseObj::AllocateRecordKey(int nTable, LONG* plKey) { return GetNewKey(nTable, plKey); }
