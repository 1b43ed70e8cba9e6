#include <qel/outside/records/ObjectSet.h>

#include <algorithm>

CQELObjectSet::CQELObjectSet(int nIndexCount) : m_indexes(static_cast<size_t>(std::max(nIndexCount, 0))) {}

CQELObjectSet::~CQELObjectSet() = default;

void CQELObjectSet::InitHashTable(UINT buckets, BOOL /*bAllocNow*/) {
    m_map.reserve(buckets);
    for (auto& index : m_indexes) index.sorted.reserve(buckets);
}

BOOL CQELObjectSet::Lookup(LONG key, CQELObjectData*& pObject) const {
    auto it = m_map.find(key);
    if (it == m_map.end()) return FALSE;
    pObject = it->second.get();
    return TRUE;
}

void CQELObjectSet::ForEach(const std::function<void(LONG, CQELObjectData*)>& visit) const {
    for (const auto& [key, object] : m_map) visit(key, object.get());
}

CQELObjectData* CQELObjectSet::First() const { return m_map.empty() ? nullptr : m_map.begin()->second.get(); }

void CQELObjectSet::RemoveAll() {
    for (auto& index : m_indexes) {
        index.sorted.clear();
        index.pending.clear();
    }
    m_map.clear();
}

BOOL CQELObjectSet::Add(LONG key, CQELObjectData* pObject) {
    if (pObject == nullptr || !Accepts(pObject) || m_map.contains(key)) return FALSE;
    PrepareForIndex(pObject);
    m_map.emplace(key, std::unique_ptr<CQELObjectData>(pObject));
    AddToIndexes(pObject);
    return TRUE;
}

BOOL CQELObjectSet::Exist(LONG key) const { return m_map.contains(key) ? TRUE : FALSE; }

BOOL CQELObjectSet::Get(LONG key, CQELObjectData** ppObject) const {
    auto it = m_map.find(key);
    if (it == m_map.end() || ppObject == nullptr) return FALSE;
    *ppObject = it->second.get();
    return TRUE;
}

BOOL CQELObjectSet::Replace(LONG key, CQELObjectData* pObject) {
    auto it = m_map.find(key);
    if (it == m_map.end() || pObject == nullptr || !Accepts(pObject)) return FALSE;
    if (it->second.get() == pObject) {
        // The same object, possibly changed in place: re-sort it.
        RemoveFromIndexes(pObject);
        PrepareForIndex(pObject);
        AddToIndexes(pObject);
        return TRUE;
    }
    RemoveFromIndexes(it->second.get());
    PrepareForIndex(pObject);
    it->second.reset(pObject);
    AddToIndexes(pObject);
    return TRUE;
}

BOOL CQELObjectSet::Delete(LONG key, int /*nReserved*/) {
    auto it = m_map.find(key);
    if (it == m_map.end()) return FALSE;
    RemoveFromIndexes(it->second.get());
    m_map.erase(it);
    return TRUE;
}

bool CQELObjectSet::Less(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const {
    const int order = Compare(nIndex, a, b);
    if (order != 0) return order < 0;
    return a->m_lKey < b->m_lKey;  // equal entries keep a stable, key order
}

void CQELObjectSet::AddToIndexes(CQELObjectData* pObject) {
    for (auto& index : m_indexes) index.pending.push_back(pObject);
}

void CQELObjectSet::RemoveFromIndexes(CQELObjectData* pObject) {
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        Index& index = m_indexes[i];
        if (auto p = std::find(index.pending.begin(), index.pending.end(), pObject); p != index.pending.end()) {
            index.pending.erase(p);
            continue;
        }
        // Sorted entries are found by binary search; the object's sort fields
        // may have changed since it was sorted, so fall back to a scan.
        const int n = static_cast<int>(i);
        auto it = std::lower_bound(index.sorted.begin(), index.sorted.end(), pObject,
                                   [&](const CQELObjectData* a, const CQELObjectData* b) { return Less(n, a, b); });
        if (it == index.sorted.end() || *it != pObject) it = std::find(index.sorted.begin(), index.sorted.end(), pObject);
        if (it != index.sorted.end()) index.sorted.erase(it);
    }
}

BOOL CQELObjectSet::UpdateIndex(int nIndex) {
    if (nIndex < 0 || nIndex >= GetIndexCount()) return FALSE;
    Index& index = m_indexes[static_cast<size_t>(nIndex)];
    if (index.pending.empty()) return TRUE;
    auto less = [&](const CQELObjectData* a, const CQELObjectData* b) { return Less(nIndex, a, b); };
    std::sort(index.pending.begin(), index.pending.end(), less);
    const auto middle = static_cast<std::ptrdiff_t>(index.sorted.size());
    index.sorted.insert(index.sorted.end(), index.pending.begin(), index.pending.end());
    std::inplace_merge(index.sorted.begin(), index.sorted.begin() + middle, index.sorted.end(), less);
    index.pending.clear();
    return TRUE;
}

BOOL CQELObjectSet::GetKey(int nIndex, int nPosition, LONG* plKey) {
    if (!UpdateIndex(nIndex) || plKey == nullptr) return FALSE;
    const auto& sorted = m_indexes[static_cast<size_t>(nIndex)].sorted;
    if (nPosition < 0 || static_cast<size_t>(nPosition) >= sorted.size()) return FALSE;
    *plKey = sorted[static_cast<size_t>(nPosition)]->m_lKey;
    return TRUE;
}

BOOL CQELObjectSet::Search(int nIndex, CQELObjectData* pProbe, int* pnPosition) {
    if (pProbe == nullptr || pnPosition == nullptr || !Accepts(pProbe) || !UpdateIndex(nIndex)) return FALSE;
    PrepareForIndex(pProbe);
    const auto& sorted = m_indexes[static_cast<size_t>(nIndex)].sorted;
    auto it = std::lower_bound(sorted.begin(), sorted.end(), pProbe, [&](const CQELObjectData* a, const CQELObjectData* b) {
        return Compare(nIndex, a, b) < 0;
    });
    *pnPosition = static_cast<int>(it - sorted.begin());
    return TRUE;
}
