#include <qel/outside/records/ObjectSets.h>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/LayoutData.h>
#include <qel/platform/Locale.h>

namespace {

int Order(LONG a, LONG b) { return a < b ? -1 : (a > b ? 1 : 0); }

int Order(const std::string& a, const std::string& b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

std::string CPatientSet::SortKey(const std::string& text) {
    using namespace qel::platform;
    return FoldForCompare(CharUpper(text), NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH);
}

int CDoctorSet::Compare(int, const CQELObjectData* a, const CQELObjectData* b) const {
    return Order(static_cast<const CDoctorData*>(a)->m_strNameSortKey, static_cast<const CDoctorData*>(b)->m_strNameSortKey);
}

void CDoctorSet::PrepareForIndex(CQELObjectData* pObject) const {
    if (auto* doctor = dynamic_cast<CDoctorData*>(pObject)) doctor->m_strNameSortKey = CPatientSet::SortKey(doctor->m_strName);
}

int CMediaTypeSet::Compare(int, const CQELObjectData* a, const CQELObjectData* b) const {
    return Order(a->m_lKey, b->m_lKey);
}

int CMediaSet::Compare(int, const CQELObjectData* a, const CQELObjectData* b) const { return Order(a->m_lKey, b->m_lKey); }

int CKeyOrderedSet::Compare(int, const CQELObjectData* a, const CQELObjectData* b) const {
    return Order(a->m_lKey, b->m_lKey);
}

int CPatientSet::Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const {
    const auto* pa = static_cast<const CPatientData*>(a);
    const auto* pb = static_cast<const CPatientData*>(b);
    return nIndex == 0 ? Order(pa->m_strNameSortKey, pb->m_strNameSortKey)
                       : Order(pa->m_strNumberSortKey, pb->m_strNumberSortKey);
}

void CPatientSet::PrepareForIndex(CQELObjectData* pObject) const {
    if (auto* patient = dynamic_cast<CPatientData*>(pObject)) {
        patient->m_strNameSortKey = SortKey(patient->m_strName);
        patient->m_strNumberSortKey = SortKey(patient->m_strNumber);
    }
}

int CLayoutSet::Compare(int, const CQELObjectData* a, const CQELObjectData* b) const {
    return Order(static_cast<const CLayoutData*>(a)->m_nPageID, static_cast<const CLayoutData*>(b)->m_nPageID);
}

bool CDoctorSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CDoctorData>(); }
bool CMediaTypeSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CMediaTypeData>(); }
bool CMediaSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CMediaData>(); }
bool CPatientSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CPatientData>(); }
bool CLayoutSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CLayoutData>(); }
