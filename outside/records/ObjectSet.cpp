#include <qel/outside/records/ObjectSet.h>

#include <algorithm>
#include <limits>

CQELObjectSet::CQELObjectSet(int nIndexCount) : m_indexes(static_cast<size_t>(std::max(nIndexCount, 0))) {}

CQELObjectSet::~CQELObjectSet() = default;

void CQELObjectSet::InitHashTable(UINT buckets, BOOL /*bAllocNow*/) {
    m_map.reserve(buckets);
    for (auto& index : m_indexes) index.pending.reserve(buckets);
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
    for (auto& index : m_indexes) index = Index();
    m_map.clear();
}

namespace {

using Entry = CQELObjectSet::SortedIndex::Entry;
constexpr std::uint32_t kMaxSize = CQELObjectSet::SortedIndex::kMaxSize;

std::string_view TextIn(const std::string& bytes, const Entry& e) {
    return {bytes.data() + e.nOffset, e.nSizeAndFlags & kMaxSize};
}

// Index order: the bytes (as unsigned), then the key.
bool Before(std::string_view a, LONG keyA, std::string_view b, LONG keyB) {
    const int order = a.compare(b);
    return order != 0 ? order < 0 : keyA < keyB;
}

// The index bytes of one object, reused so that adding does not allocate.
std::string& Scratch() {
    thread_local std::string bytes;
    return bytes;
}

}  // namespace

std::size_t CQELObjectSet::SortedIndex::LowerBound(std::string_view text) const {
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), text,
                                     [this](const Entry& e, std::string_view t) { return TextOf(e) < t; });
    return static_cast<std::size_t>(it - m_entries.begin());
}

void CQELObjectSet::NumberKey(LONG value, std::string& bytes) {
    // Flipping the sign bit makes the unsigned big-endian bytes order like the signed number.
    const auto u = static_cast<std::uint32_t>(value) ^ 0x80000000u;
    bytes.assign({static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
                  static_cast<char>(u)});
}

BOOL CQELObjectSet::Add(LONG key, CQELObjectData* pObject) {
    if (pObject == nullptr || !Accepts(pObject) || m_map.contains(key)) return FALSE;
    if (!AddToIndexes(pObject)) return FALSE;
    try {
        m_map.emplace(key, std::unique_ptr<CQELObjectData>(pObject));
    } catch (...) {
        RemoveFromIndexes(pObject, false);
        throw;
    }
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
    // The new entries first: when they do not fit, nothing has changed.
    if (!AddToIndexes(pObject)) return FALSE;
    RemoveFromIndexes(it->second.get(), true);
    if (it->second.get() != pObject) it->second.reset(pObject);
    return TRUE;
}

BOOL CQELObjectSet::Delete(LONG key, int /*nReserved*/) {
    auto it = m_map.find(key);
    if (it == m_map.end()) return FALSE;
    RemoveFromIndexes(it->second.get(), false);
    m_map.erase(it);
    return TRUE;
}

bool CQELObjectSet::AddToIndexes(CQELObjectData* pObject) {
    std::string& bytes = Scratch();
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        Index& index = m_indexes[i];
        const std::uint8_t flags = IndexKey(static_cast<int>(i), pObject, bytes);
        const std::size_t total = index.sorted.m_bytes.size() + index.pendingBytes.size() + bytes.size();
        if (bytes.size() > kMaxSize || total > std::numeric_limits<std::uint32_t>::max()) {
            for (size_t j = 0; j < i; ++j) m_indexes[j].pending.pop_back();  // their last entry is this object's
            return false;
        }
        index.pending.push_back({pObject->m_lKey, static_cast<std::uint32_t>(index.pendingBytes.size()),
                                 static_cast<std::uint32_t>(bytes.size()) | (std::uint32_t{flags} << 24)});
        index.pendingBytes += bytes;
    }
    return true;
}

void CQELObjectSet::RemoveFromIndexes(const CQELObjectData* pObject, bool bKeepLastPending) {
    const LONG key = pObject->m_lKey;
    auto hasKey = [key](const Entry& e) { return e.lKey == key; };
    std::string& bytes = Scratch();
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        Index& index = m_indexes[i];
        const auto pendingEnd = index.pending.end() - (bKeepLastPending ? 1 : 0);
        if (auto p = std::find_if(index.pending.begin(), pendingEnd, hasKey); p != pendingEnd) {
            index.pending.erase(p);  // its bytes stay until the merge
            continue;
        }
        // Sorted entries are found by binary search; the object may have
        // changed since it was indexed, so fall back to a scan by key.
        SortedIndex& sorted = index.sorted;
        IndexKey(static_cast<int>(i), pObject, bytes);
        auto it = std::lower_bound(sorted.m_entries.begin(), sorted.m_entries.end(), 0, [&](const Entry& e, int) {
            return Before(TextIn(sorted.m_bytes, e), e.lKey, bytes, key);
        });
        if (it == sorted.m_entries.end() || it->lKey != key)
            it = std::find_if(sorted.m_entries.begin(), sorted.m_entries.end(), hasKey);
        if (it == sorted.m_entries.end()) continue;
        sorted.m_nDeadBytes += it->nSizeAndFlags & kMaxSize;
        sorted.m_entries.erase(it);
        if (sorted.m_nDeadBytes > 4096 && sorted.m_nDeadBytes > sorted.m_bytes.size() / 2) Compact(sorted);
    }
}

void CQELObjectSet::Compact(SortedIndex& index) {
    std::string bytes;
    bytes.reserve(index.m_bytes.size() - index.m_nDeadBytes);
    for (Entry& e : index.m_entries) {
        const std::string_view text = TextIn(index.m_bytes, e);
        e.nOffset = static_cast<std::uint32_t>(bytes.size());
        bytes += text;
    }
    index.m_bytes = std::move(bytes);
    index.m_nDeadBytes = 0;
}

BOOL CQELObjectSet::UpdateIndex(int nIndex) {
    if (nIndex < 0 || nIndex >= GetIndexCount()) return FALSE;
    Index& index = m_indexes[static_cast<size_t>(nIndex)];
    if (index.pending.empty()) return TRUE;
    const std::string& added = index.pendingBytes;
    std::sort(index.pending.begin(), index.pending.end(), [&](const Entry& a, const Entry& b) {
        return Before(TextIn(added, a), a.lKey, TextIn(added, b), b.lKey);
    });

    // One merge into buffers of the exact size, bytes laid out in index
    // order, so that a scan of the index reads memory front to back.
    const SortedIndex& old = index.sorted;
    std::size_t liveAdded = 0;
    for (const Entry& e : index.pending) liveAdded += e.nSizeAndFlags & kMaxSize;
    SortedIndex merged;
    merged.m_entries.reserve(old.m_entries.size() + index.pending.size());
    merged.m_bytes.reserve(old.m_bytes.size() - old.m_nDeadBytes + liveAdded);
    auto append = [&merged](const std::string& from, const Entry& e) {
        const std::string_view text = TextIn(from, e);
        merged.m_entries.push_back({e.lKey, static_cast<std::uint32_t>(merged.m_bytes.size()), e.nSizeAndFlags});
        merged.m_bytes += text;
    };
    auto a = old.m_entries.begin();
    auto b = index.pending.begin();
    while (a != old.m_entries.end() && b != index.pending.end()) {
        if (Before(TextIn(added, *b), b->lKey, TextIn(old.m_bytes, *a), a->lKey))
            append(added, *b++);
        else
            append(old.m_bytes, *a++);
    }
    for (; a != old.m_entries.end(); ++a) append(old.m_bytes, *a);
    for (; b != index.pending.end(); ++b) append(added, *b);

    index.sorted = std::move(merged);
    std::vector<Entry>().swap(index.pending);
    std::string().swap(index.pendingBytes);
    return TRUE;
}

BOOL CQELObjectSet::GetKey(int nIndex, int nPosition, LONG* plKey) {
    if (!UpdateIndex(nIndex) || plKey == nullptr) return FALSE;
    const SortedIndex& sorted = m_indexes[static_cast<size_t>(nIndex)].sorted;
    if (nPosition < 0 || static_cast<size_t>(nPosition) >= sorted.Size()) return FALSE;
    *plKey = sorted.m_entries[static_cast<size_t>(nPosition)].lKey;
    return TRUE;
}

BOOL CQELObjectSet::Search(int nIndex, CQELObjectData* pProbe, int* pnPosition) {
    if (pProbe == nullptr || pnPosition == nullptr || !Accepts(pProbe) || !UpdateIndex(nIndex)) return FALSE;
    std::string& bytes = Scratch();
    IndexKey(nIndex, pProbe, bytes);
    *pnPosition = static_cast<int>(m_indexes[static_cast<size_t>(nIndex)].sorted.LowerBound(bytes));
    return TRUE;
}

const CQELObjectSet::SortedIndex* CQELObjectSet::GetSortedIndex(int nIndex) {
    if (!UpdateIndex(nIndex)) return nullptr;
    return &m_indexes[static_cast<size_t>(nIndex)].sorted;
}
