// Counting and listing doctors, media types, media and patients by position,
// and choosing the order patients are listed in.
#include <qel/database/DatabaseObj.h>

#include <cstdint>
#include <limits>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/platform/UserInterface.h>

namespace {

// Shows the wait cursor for its lifetime, on whichever interface showed it.
class WaitCursor {
public:
    WaitCursor() : m_ui(qel::platform::CurrentUserInterface()) { m_ui->BeginWaitCursor(); }
    ~WaitCursor() { m_ui->EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    std::shared_ptr<qel::platform::IUserInterface> m_ui;
};

}  // namespace

template <class Data, class Set>
BOOL CDatabaseObj::GetSetCount(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), LONG* plCount) {
    ClearError();
    if (!(this->*build)(nullptr) || !set) return SetError(10);
    if (plCount == nullptr) return SetError(8020);
    *plCount = set->GetCount();
    return TRUE;
}

template <class Data, class Set>
BOOL CDatabaseObj::GetSetKey(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), int nIndex,
                             LONG lPosition, LONG* plKey) {
    ClearError();
    if (!(this->*build)(nullptr) || !set) return SetError(10);
    if (plKey == nullptr || !set->GetKey(nIndex, lPosition, plKey)) return SetError(8020);
    return TRUE;
}

BOOL CDatabaseObj::GetDoctorCount(LONG* plCount) {
    return GetSetCount(m_pDoctorSet, &CDatabaseObj::CheckDoctorSet, plCount);
}
BOOL CDatabaseObj::GetDoctor(LONG lPosition, LONG* plKey) {
    return GetSetKey(m_pDoctorSet, &CDatabaseObj::CheckDoctorSet, 0, lPosition, plKey);
}
BOOL CDatabaseObj::GetImageMediaTypeCount(LONG* plCount) {
    return GetSetCount(m_pMediaTypeSet, &CDatabaseObj::CheckMediaTypeSet, plCount);
}
BOOL CDatabaseObj::GetImageMediaType(LONG lPosition, LONG* plKey) {
    return GetSetKey(m_pMediaTypeSet, &CDatabaseObj::CheckMediaTypeSet, 0, lPosition, plKey);
}
BOOL CDatabaseObj::GetImageMediaCount(LONG* plCount) {
    return GetSetCount(m_pMediaSet, &CDatabaseObj::CheckMediaSetForRecords, plCount);
}
BOOL CDatabaseObj::GetImageMedia(LONG lPosition, LONG* plKey) {
    return GetSetKey(m_pMediaSet, &CDatabaseObj::CheckMediaSetForRecords, 0, lPosition, plKey);
}
BOOL CDatabaseObj::GetPatientCount(LONG* plCount) {
    return GetSetCount(m_pPatientSet, &CDatabaseObj::CheckPatientSet, plCount);
}

BOOL CDatabaseObj::ArrangePatients(SHORT nIndex, BOOL bAscending) {
    ClearError();
    if (!CheckPatientSet(nullptr) || !m_pPatientSet) return SetError(10);
    // The order is kept even when the index turns out to be unknown.
    m_nPatientSortIndex = nIndex;
    m_bPatientSortAscending = bAscending;
    WaitCursor wait;
    return m_pPatientSet->UpdateIndex(m_nPatientSortIndex);
}

BOOL CDatabaseObj::GetPatient(LONG lPosition, LONG* plKey) {
    if (m_bPatientSortAscending)
        return GetSetKey(m_pPatientSet, &CDatabaseObj::CheckPatientSet, m_nPatientSortIndex, lPosition, plKey);
    ClearError();
    if (!CheckPatientSet(nullptr) || !m_pPatientSet) return SetError(10);
    // Counted from the end; computed wide so that extreme positions stay outside the index.
    const std::int64_t position = std::int64_t{m_pPatientSet->GetCount()} - lPosition - 1;
    if (position < 0 || position > std::numeric_limits<LONG>::max()) return SetError(8020);
    return GetSetKey(m_pPatientSet, &CDatabaseObj::CheckPatientSet, m_nPatientSortIndex, static_cast<LONG>(position),
                     plKey);
}
