// The live item registry of the database object and the release of the
// per-patient image and status sets once nobody uses them.
#include <qel/database/DatabaseObj.h>

#include <algorithm>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/DatabaseItem.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/platform/UserInterface.h>

namespace {

using SetMember = std::unique_ptr<CQELObjectSet> CPatientData::*;

bool IsOfType(const CQELObjectData* pData, CDatabaseObj::EItemType eType) {
    switch (eType) {
    case CDatabaseObj::eItemImage:
        return pData->IsKindOf<CImageData>();
    case CDatabaseObj::eItemStatus:
        return pData->IsKindOf<CStatusData>();
    }
    return false;
}

bool IsKnownType(CDatabaseObj::EItemType eType) {
    return eType == CDatabaseObj::eItemImage || eType == CDatabaseObj::eItemStatus;
}

// Frees the set `member` of pData's patient when the patient is not held,
// no object of the set is held, and pData is one of them.
void ReleaseOwnersSet(CPatientSet& patients, CQELObjectData* pData, SetMember member) {
    CPatientData* pPatient = nullptr;
    if (!patients.GetAs(pData->m_lOwnerKey, &pPatient)) return;
    if (pPatient->m_lRefCount != 0) return;
    std::unique_ptr<CQELObjectSet>& set = pPatient->*member;
    if (!set) return;

    bool found = false;
    bool inUse = false;
    bool warning = false;
    set->ForEach([&](LONG, CQELObjectData* pObject) {
        if (inUse) return;
        if (pObject == pData) found = true;
        if (pObject->m_lRefCount > 0) inUse = true;
        if (pObject->m_bWarning) warning = true;
    });
    if (inUse) return;
    if (warning) qel::platform::MessageBeep(MB_ICONEXCLAMATION);
    if (found) set.reset();
}

}  // namespace

void CDatabaseObj::RegisterItem(CQELDatabaseItem* pItem) {
    if (pItem == nullptr) return;
    m_listItems.push_back(pItem);
    pItem->m_lSerialNumber = m_lNextItemNumber++;
}

void CDatabaseObj::UnregisterItem(CQELDatabaseItem* pItem) {
    auto it = std::find(m_listItems.begin(), m_listItems.end(), pItem);
    if (it != m_listItems.end()) m_listItems.erase(it);
}

void CDatabaseObj::OrphanizeItems(LONG l1, LONG l2, EItemType eType) {
    if (!IsKnownType(eType)) return;
    for (CQELDatabaseItem* pItem : m_listItems) {
        if (pItem->m_bOrphan || pItem->m_pData == nullptr) continue;
        if (IsOfType(pItem->m_pData, eType)) pItem->Orphanize(l1, l2);
    }
}

void CDatabaseObj::InvalidateItems(LONG lOwnerKey, EItemType eType) {
    if (!IsKnownType(eType)) return;
    for (CQELDatabaseItem* pItem : m_listItems) {
        if (pItem->m_pData == nullptr) continue;
        if (IsOfType(pItem->m_pData, eType) && pItem->m_pData->m_lOwnerKey == lOwnerKey) pItem->Invalidate();
    }
}

void CDatabaseObj::EnsureImageSetsDeleted() {
    if (!m_pPatientSet) return;
    m_pPatientSet->ForEach([](LONG, CQELObjectData* pObject) {
        auto* pPatient = dynamic_cast<CPatientData*>(pObject);
        if (pPatient == nullptr || !pPatient->m_pImageSet) return;
        qel::platform::MessageBeep(MB_ICONEXCLAMATION);
        pPatient->m_pImageSet.reset();
    });
}

void CDatabaseObj::CheckOwnersObjectSet(CQELObjectData* pData) {
    if (pData == nullptr) return;
    if (auto* pPatient = dynamic_cast<CPatientData*>(pData)) {
        if (pPatient->m_lRefCount != 0 || !pPatient->m_pImageSet) return;
        if (CQELObjectData* pFirst = pPatient->m_pImageSet->First()) {
            CheckOwnersObjectSet(pFirst);
            return;
        }
        pPatient->m_pImageSet.reset();
    } else if (auto* pImage = dynamic_cast<CImageData*>(pData)) {
        if (!m_pPatientSet) return;
        if (pImage->m_lRefCount == 0 && pImage->HasNormalImage()) pImage->DeleteNormalImage();
        ReleaseOwnersSet(*m_pPatientSet, pImage, &CPatientData::m_pImageSet);
    } else if (pData->IsKindOf<CStatusData>()) {
        if (!m_pPatientSet) return;
        ReleaseOwnersSet(*m_pPatientSet, pData, &CPatientData::m_pStatusSet);
    }
}
