// Page layouts: the layout set (read once from LAY200 on first use), the
// layout of a page or of a key for in-process clients, and whether the
// layout of page 1 already holds the full set of buttons.
#include <qel/database/DatabaseObj.h>

#include <array>
#include <memory>

#include <qel/outside/records/LayoutData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>

namespace {

// The buttons of a complete page 1 layout, in three groups of 17.
constexpr std::array<LONG, 51> kPage1Buttons = {
    118, 117, 116, 115, 114, 113, 112, 111, 100, 121, 122, 123, 124, 125, 126, 127, 128,
    248, 247, 246, 245, 244, 243, 242, 241, 200, 231, 232, 233, 234, 235, 236, 237, 238,
    358, 357, 356, 355, 354, 353, 352, 351, 300, 361, 362, 363, 364, 365, 366, 367, 368,
};

}  // namespace

BOOL CDatabaseObj::CheckLayoutSet() {
    if (m_pLayoutSet) return TRUE;
    m_pLayoutSet = std::make_unique<CLayoutSet>();
    bool ok = false;
    try {
        CLayoutRecordset rs(this);
        if (rs.Open(nullptr, nullptr, nullptr, 0)) {
            ok = true;
            for (; ok && !rs.IsEOF(); rs.MoveNext()) {
                auto data = std::make_unique<CLayoutData>(rs);
                // Rows whose data cannot be decoded stay out of the set.
                if (data->m_lKey == -1) continue;
                CLayoutData* raw = data.get();
                if (!m_pLayoutSet->Add(rs.m_LAYKEY, raw)) {
                    ok = false;
                    break;
                }
                data.release();  // the set owns it now
                raw->m_bLoaded = TRUE;
            }
            // A read that failed part-way ends the rows early.
            if (ok && rs.GetLastError().has_value()) ok = false;
        }
    } catch (...) {
        ok = false;
    }
    if (!ok) m_pLayoutSet.reset();
    return ok ? TRUE : FALSE;
}

BOOL CDatabaseObj::FindDefaultPageLayout(LONG lPageID, CLayoutData** ppData) {
    ClearError();
    *ppData = nullptr;
    if (!m_pLayoutSet) return SetError(10);

    CLayoutData probe;
    probe.m_nPageID = lPageID;
    int position = 0;
    if (!m_pLayoutSet->Search(0, &probe, &position) || position >= m_pLayoutSet->GetCount()) return TRUE;

    LONG key = 0;
    if (!m_pLayoutSet->GetKey(0, position, &key)) return SetError(10);
    CLayoutData* found = nullptr;
    if (!m_pLayoutSet->GetAs(key, &found)) return SetError(10);
    // Search finds the first layout not ordered before the page: another page
    // when this one has none.
    if (found->m_nPageID == lPageID) *ppData = found;
    return TRUE;
}

BOOL CDatabaseObj::GetLayoutData(LONG lID, int bByPage, CLayoutData** ppData) {
    ClearError();
    if (ppData == nullptr) return SetError(20);
    *ppData = nullptr;
    if (!CheckLayoutSet()) return SetError(10);

    if (bByPage != 0) {
        if (!FindDefaultPageLayout(lID, ppData) && lErrorCode != 0) return PassOnError();
        if (*ppData == nullptr) *ppData = new CLayoutData();  // owned by the caller
        return TRUE;
    }
    if (!m_pLayoutSet->GetAs(lID, ppData)) {
        *ppData = new CLayoutData();  // owned by the caller
        return SetError(8010);
    }
    return TRUE;
}

BOOL CDatabaseObj::GetBDefault15LayoutSaved() {
    ClearError();
    if (!bIsOpen) return SetError(50);
    if (!CheckLayoutSet()) return SetError(10);

    CLayoutData* layout = nullptr;
    if (!FindDefaultPageLayout(1, &layout) && lErrorCode != 0) return PassOnError();
    if (layout == nullptr) return FALSE;
    for (LONG id : kPage1Buttons) {
        if (layout->m_mapButtons.find(id) == layout->m_mapButtons.end()) return FALSE;
    }
    return TRUE;
}

void CDatabaseObj::SetBDefault15LayoutSaved(BOOL) { ShowReadOnlyNotice(); }
