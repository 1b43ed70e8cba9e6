// The patients of one doctor, collected into the found-patient list that the
// patient search fills too.
#include <qel/database/DatabaseObj.h>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>

BOOL CDatabaseObj::SearchDoctor(LONG lDoctorKey, LONG* plCount) {
    ClearError();
    m_arrFoundPatients.clear();
    if (plCount != nullptr) *plCount = 0;
    if (!CheckPatientSet(nullptr) || !m_pPatientSet) return SetError(10);
    if (lDoctorKey < 0 || plCount == nullptr) return SetError(60);
    m_pPatientSet->ForEach([&](LONG key, CQELObjectData* pObject) {
        if (pObject->m_lOwnerKey == lDoctorKey) m_arrFoundPatients.push_back(key);
    });
    *plCount = static_cast<LONG>(m_arrFoundPatients.size());
    return TRUE;
}

BOOL CDatabaseObj::GetDoctorOwnerKey(LONG lPosition, LONG* plKey) { return ReadFoundPatient(lPosition, plKey, 60); }
