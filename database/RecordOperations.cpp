// Add, replace, get and delete of cached doctors, media types, media and
// patients: one implementation over the type's set and builder.
#include <qel/database/DatabaseObj.h>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>

template <class Data, class Set>
BOOL CDatabaseObj::AddData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), Data* pData) {
    ClearError();
    if (pData == nullptr || !(this->*build)(pData)) return SetError(10);
    if (set->Exist(pData->m_lKey)) return SetError(10);
    if (!set->Add(pData->m_lKey, pData)) return SetError(10);
    return TRUE;
}

template <class Data, class Set>
BOOL CDatabaseObj::ReplaceData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), Data* pData) {
    ClearError();
    if (!(this->*build)(nullptr)) return SetError(10);
    if (pData == nullptr || !set->Replace(pData->m_lKey, pData)) return SetError(10);
    return TRUE;
}

template <class Data, class Set>
BOOL CDatabaseObj::GetData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), LONG lRecordKey, Data** ppData) {
    ClearError();
    if (!(this->*build)(nullptr)) return SetError(10);
    if (ppData == nullptr || !set->GetAs(lRecordKey, ppData)) return SetError(8020);
    return TRUE;
}

template <class Data, class Set>
BOOL CDatabaseObj::DeleteData(std::unique_ptr<Set>& set, BOOL (CDatabaseObj::*build)(Data*), LONG lRecordKey) {
    ClearError();
    if (!(this->*build)(nullptr)) return SetError(10);
    if (!set->Exist(lRecordKey)) return TRUE;
    if (!set->Delete(lRecordKey, 0)) return SetError(10);
    return TRUE;
}

// The media set's builder takes a reload flag that record operations never set.
BOOL CDatabaseObj::CheckMediaSetForRecords(CMediaData* pExclude) { return CheckMediaSet(pExclude, FALSE); }

BOOL CDatabaseObj::AddDoctorData(CDoctorData* p) { return AddData(m_pDoctorSet, &CDatabaseObj::CheckDoctorSet, p); }
BOOL CDatabaseObj::ReplaceDoctorData(CDoctorData* p) {
    return ReplaceData(m_pDoctorSet, &CDatabaseObj::CheckDoctorSet, p);
}
BOOL CDatabaseObj::GetDoctorData(LONG lRecordKey, CDoctorData** pp) {
    return GetData(m_pDoctorSet, &CDatabaseObj::CheckDoctorSet, lRecordKey, pp);
}
BOOL CDatabaseObj::DeleteDoctorData(LONG lRecordKey) { return DeleteData(m_pDoctorSet, &CDatabaseObj::CheckDoctorSet, lRecordKey); }

BOOL CDatabaseObj::AddMediaTypeData(CMediaTypeData* p) {
    return AddData(m_pMediaTypeSet, &CDatabaseObj::CheckMediaTypeSet, p);
}
BOOL CDatabaseObj::ReplaceMediaTypeData(CMediaTypeData* p) {
    return ReplaceData(m_pMediaTypeSet, &CDatabaseObj::CheckMediaTypeSet, p);
}
BOOL CDatabaseObj::GetMediaTypeData(LONG lRecordKey, CMediaTypeData** pp) {
    return GetData(m_pMediaTypeSet, &CDatabaseObj::CheckMediaTypeSet, lRecordKey, pp);
}
BOOL CDatabaseObj::DeleteMediaTypeData(LONG lRecordKey) {
    return DeleteData(m_pMediaTypeSet, &CDatabaseObj::CheckMediaTypeSet, lRecordKey);
}

BOOL CDatabaseObj::AddMediaData(CMediaData* p) { return AddData(m_pMediaSet, &CDatabaseObj::CheckMediaSetForRecords, p); }
BOOL CDatabaseObj::ReplaceMediaData(CMediaData* p) {
    return ReplaceData(m_pMediaSet, &CDatabaseObj::CheckMediaSetForRecords, p);
}
BOOL CDatabaseObj::GetMediaData(LONG lRecordKey, CMediaData** pp) {
    return GetData(m_pMediaSet, &CDatabaseObj::CheckMediaSetForRecords, lRecordKey, pp);
}
BOOL CDatabaseObj::DeleteMediaData(LONG lRecordKey) {
    return DeleteData(m_pMediaSet, &CDatabaseObj::CheckMediaSetForRecords, lRecordKey);
}

BOOL CDatabaseObj::AddPatientData(CPatientData* p) { return AddData(m_pPatientSet, &CDatabaseObj::CheckPatientSet, p); }
BOOL CDatabaseObj::ReplacePatientData(CPatientData* p) {
    return ReplaceData(m_pPatientSet, &CDatabaseObj::CheckPatientSet, p);
}
BOOL CDatabaseObj::GetPatientData(LONG lRecordKey, CPatientData** pp) {
    return GetData(m_pPatientSet, &CDatabaseObj::CheckPatientSet, lRecordKey, pp);
}
BOOL CDatabaseObj::DeletePatientData(LONG lRecordKey) {
    return DeleteData(m_pPatientSet, &CDatabaseObj::CheckPatientSet, lRecordKey);
}
