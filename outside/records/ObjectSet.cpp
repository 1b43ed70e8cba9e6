#include <qel/outside/records/ObjectSet.h>

#include <algorithm>
#include <limits>

CQELObjectSet::CQELObjectSet(int nIndexCount) : m_indexes(static_cast<size_t>(std::max(nIndexCount, 0))) {}

CQELObjectSet::~CQELObjectSet() = default;

void CQELObjectSet::InitHashTable(UINT buckets, BOOL /*bAllocNow*/) {
    m_table.Reserve(buckets);
    for (auto& index : m_indexes) index.pending.reserve(buckets);
}

BOOL CQELObjectSet::Lookup(LONG key, CQELObjectData*& pObject) const {
    const KeyTable::Slot* slot = m_table.Find(key);
    if (slot == nullptr) return FALSE;
    pObject = slot->pObject;
    return TRUE;
}

void CQELObjectSet::ForEach(const std::function<void(LONG, CQELObjectData*)>& visit) const {
    for (const KeyTable::Slot& slot : m_table.Slots())
        if (slot.pObject != nullptr) visit(slot.lKey, slot.pObject);
}

CQELObjectData* CQELObjectSet::First() const {
    if (m_table.Size() == 0) return nullptr;
    for (const KeyTable::Slot& slot : m_table.Slots())
        if (slot.pObject != nullptr) return slot.pObject;
    return nullptr;
}

void CQELObjectSet::RemoveAll() {
    for (auto& index : m_indexes) index = Index();
    m_table.Clear();
}

// --- The key table ------------------------------------------------------------

std::size_t CQELObjectSet::KeyTable::Home(LONG key) const {
    // Fibonacci hashing: consecutive keys spread over the table.
    const std::uint64_t h = static_cast<std::uint64_t>(static_cast<std::uint32_t>(key)) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h >> 32) & (m_slots.size() - 1);
}

CQELObjectSet::KeyTable::Slot* CQELObjectSet::KeyTable::Find(LONG key) const {
    if (m_nSize == 0) return nullptr;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = Home(key);; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.pObject == nullptr) return nullptr;
        if (slot.lKey == key) return const_cast<Slot*>(&slot);
    }
}

void CQELObjectSet::KeyTable::Reserve(std::size_t count) {
    std::size_t capacity = 8;
    while (capacity / 5 * 4 < count) capacity *= 2;
    if (capacity <= m_slots.size()) return;
    std::vector<Slot> old(capacity, Slot{0, nullptr});
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& slot : old) {
        if (slot.pObject == nullptr) continue;
        std::size_t i = Home(slot.lKey);
        while (m_slots[i].pObject != nullptr) i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

void CQELObjectSet::KeyTable::Insert(LONG key, CQELObjectData* pObject) {
    Reserve(m_nSize + 1);
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = Home(key);
    while (m_slots[i].pObject != nullptr) i = (i + 1) & mask;
    m_slots[i] = Slot{key, pObject};
    ++m_nSize;
}

void CQELObjectSet::KeyTable::Erase(Slot* pSlot) {
    CQELObjectData* pObject = pSlot->pObject;
    // Backward-shift removal: move every later entry of the run that may
    // stand in the freed slot, so that no search stops short of it.
    const std::size_t mask = m_slots.size() - 1;
    std::size_t hole = static_cast<std::size_t>(pSlot - m_slots.data());
    for (std::size_t i = (hole + 1) & mask; m_slots[i].pObject != nullptr; i = (i + 1) & mask) {
        const std::size_t home = Home(m_slots[i].lKey);
        // The entry may move into the hole when its home is not in (hole, i].
        const bool homeBetween = hole <= i ? (home > hole && home <= i) : (home > hole || home <= i);
        if (homeBetween) continue;
        m_slots[hole] = m_slots[i];
        hole = i;
    }
    m_slots[hole] = Slot{0, nullptr};
    --m_nSize;
    delete pObject;
}

void CQELObjectSet::KeyTable::Clear() {
    for (Slot& slot : m_slots) delete slot.pObject;
    std::vector<Slot>().swap(m_slots);
    m_nSize = 0;
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
    if (pObject == nullptr || !Accepts(pObject) || m_table.Find(key) != nullptr) return FALSE;
    if (!AddToIndexes(pObject)) return FALSE;
    try {
        m_table.Insert(key, pObject);
    } catch (...) {
        RemoveFromIndexes(pObject, false);
        throw;
    }
    return TRUE;
}

BOOL CQELObjectSet::Exist(LONG key) const { return m_table.Find(key) != nullptr ? TRUE : FALSE; }

BOOL CQELObjectSet::Get(LONG key, CQELObjectData** ppObject) const {
    const KeyTable::Slot* slot = m_table.Find(key);
    if (slot == nullptr || ppObject == nullptr) return FALSE;
    *ppObject = slot->pObject;
    return TRUE;
}

BOOL CQELObjectSet::Replace(LONG key, CQELObjectData* pObject) {
    KeyTable::Slot* slot = m_table.Find(key);
    if (slot == nullptr || pObject == nullptr || !Accepts(pObject)) return FALSE;
    // The new entries first: when they do not fit, nothing has changed.
    if (!AddToIndexes(pObject)) return FALSE;
    RemoveFromIndexes(slot->pObject, true);
    if (slot->pObject != pObject) {
        delete slot->pObject;
        slot->pObject = pObject;
    }
    return TRUE;
}

BOOL CQELObjectSet::Delete(LONG key, int /*nReserved*/) {
    KeyTable::Slot* slot = m_table.Find(key);
    if (slot == nullptr) return FALSE;
    RemoveFromIndexes(slot->pObject, false);
    m_table.Erase(slot);
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
