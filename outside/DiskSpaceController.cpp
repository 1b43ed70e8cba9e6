// The disk space controller settings and their compaction.
#include <qel/outside/DiskSpaceController.h>

#include <algorithm>
#include <cstring>

CDiskSpaceItem::~CDiskSpaceItem() = default;

bool CDiskSpaceItem::operator==(const CDiskSpaceItem& other) const {
    return m_lKey == other.m_lKey && m_strPath == other.m_strPath && m_lParam == other.m_lParam &&
           m_lNext == other.m_lNext;
}

CDiskSpaceControllerData::CDiskSpaceControllerData() { Clear(); }

CDiskSpaceControllerData::CDiskSpaceControllerData(const CDiskSpaceControllerData& other) { *this = other; }

CDiskSpaceControllerData& CDiskSpaceControllerData::operator=(const CDiskSpaceControllerData& other) {
    if (this == &other) return *this;
    m_bEnabled = other.m_bEnabled;
    m_lWarningThreshold = other.m_lWarningThreshold;
    m_lErrorThreshold = other.m_lErrorThreshold;
    m_aItems.clear();
    m_aItems.reserve(other.m_aItems.size());
    for (const CDiskSpaceItem& item : other.m_aItems) m_aItems.push_back(item);
    return *this;
}

CDiskSpaceControllerData::~CDiskSpaceControllerData() = default;

bool CDiskSpaceControllerData::operator==(const CDiskSpaceControllerData& other) const {
    return m_bEnabled == other.m_bEnabled && m_lWarningThreshold == other.m_lWarningThreshold &&
           m_lErrorThreshold == other.m_lErrorThreshold && m_aItems == other.m_aItems;
}

void CDiskSpaceControllerData::Clear() {
    m_bEnabled = FALSE;
    m_lWarningThreshold = 200;
    m_lErrorThreshold = 100;
    m_aItems.clear();
}

void CDiskSpaceControllerData::Clean() {
    const std::vector<CDiskSpaceItem> copies = std::move(m_aItems);
    m_aItems.clear();
    const size_t n = copies.size();
    std::vector<bool> visited(n, false);
    // The walk that last passed each entry (walk w is numbered w + 1), to
    // notice a chain that loops back on itself.
    std::vector<size_t> passedBy(n, 0);

    // Appends a kept entry and links the previously kept one to it.
    auto append = [this](const CDiskSpaceItem& e, bool link) {
        m_aItems.push_back(e);
        const size_t k = m_aItems.size() - 1;
        if (link && k > 0) m_aItems[k - 1].m_lNext = static_cast<LONG>(k);
        m_aItems[k].m_lNext = -1;
    };

    for (size_t i = 0; i < n; ++i) {
        if (visited[i]) continue;
        const size_t walk = i + 1;
        visited[i] = true;
        passedBy[i] = walk;
        const CDiskSpaceItem* e = &copies[i];
        if (e->m_lKey != 0) append(*e, false);
        while (e->m_lNext != -1) {
            const LONG next = e->m_lNext;
            if (next < 0 || static_cast<size_t>(next) >= n) break;
            const size_t j = static_cast<size_t>(next);
            if (passedBy[j] == walk) break;
            visited[j] = true;
            passedBy[j] = walk;
            e = &copies[j];
            if (e->m_lKey != 0) append(*e, true);
        }
    }
}

void FillDiskSpaceItemRecord(const CDiskSpaceItem& item, DiskSpaceItemRecord* pRecord) {
    std::memset(pRecord, 0, sizeof(*pRecord));
    pRecord->m_lKey = item.m_lKey;
    const size_t length = std::min(item.m_strPath.size(), DiskSpaceItemRecord::kPathSize - 1);
    std::memcpy(pRecord->m_szPath, item.m_strPath.data(), length);
    pRecord->m_szPath[length] = '\0';
    pRecord->m_lParam = item.m_lParam;
    pRecord->m_lNext = item.m_lNext;
}
