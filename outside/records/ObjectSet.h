// CQELObjectSet: a keyed set of cached records with numbered sorted indexes.
//
// The set maps record keys to objects it owns (an open-addressing hash table
// of key and pointer, 16 bytes a slot, sized on demand with InitHashTable)
// and keeps, per index number, a compact sorted index:
// the bytes each object sorts by (its set's IndexKey: a folded name, a
// number in big-endian form) stored once, in index order, in one buffer, and
// per entry the record key, where its bytes are and a few flags the set
// computed with them. Comparing is a byte comparison, ties broken by key.
// Adding thousands of objects does not re-sort: new entries wait in a pending
// run that UpdateIndex sorts and merges in, and every positional read
// (GetKey, Search, GetSortedIndex) brings its index up to date first.
//
//   CPatientSet set(nullptr);
//   set.InitHashTable(30029);
//   set.Add(patient->m_lKey, patient.release());   // the set owns it now
//   set.GetKey(0, 0, &key);                        // first patient by name
//   const auto* index = set.GetSortedIndex(0);     // the name index itself
//   index->LowerBound(CPatientSet::SortKey("ROSSI"));
//
// Add, Replace and Delete change the cache only; rows are written by the
// record sets. A failed Add or Replace leaves the caller owning its object.
// An object's index bytes are taken when it joins the set (or is replaced):
// an object changed in place sorts by its old fields until Replace.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <qel/outside/records/ObjectData.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class QEL_API CQELObjectSet {
public:
    virtual ~CQELObjectSet();
    CQELObjectSet(const CQELObjectSet&) = delete;
    CQELObjectSet& operator=(const CQELObjectSet&) = delete;

    // --- The key map ----------------------------------------------------------
    // Prepares room for about `buckets` objects (the bucket count is a hint).
    void InitHashTable(UINT buckets, BOOL bAllocNow = TRUE);
    LONG GetCount() const { return static_cast<LONG>(m_table.Size()); }
    BOOL Lookup(LONG key, CQELObjectData*& pObject) const;
    // Visits every object in table order; the visitor must not change the set.
    void ForEach(const std::function<void(LONG key, CQELObjectData* pObject)>& visit) const;
    // The first object in table order, or null when empty.
    CQELObjectData* First() const;
    void RemoveAll();

    // --- Set operations -------------------------------------------------------
    // FALSE when the key is taken, the object is null or of a class the set
    // does not hold; the caller then still owns it.
    BOOL Add(LONG key, CQELObjectData* pObject);
    BOOL Exist(LONG key) const;
    BOOL Get(LONG key, CQELObjectData** ppObject) const;
    // The object takes the key's place and the old one is deleted; FALSE when
    // the key is absent or the object is null.
    BOOL Replace(LONG key, CQELObjectData* pObject);
    // Removes and deletes the object; FALSE when the key is absent. The int is
    // reserved (callers pass 0).
    BOOL Delete(LONG key, int nReserved);

    template <class T>
    BOOL GetAs(LONG key, T** ppObject) const {
        CQELObjectData* p = nullptr;
        if (!Get(key, &p)) return FALSE;
        *ppObject = dynamic_cast<T*>(p);
        return *ppObject != nullptr;
    }

    // --- Indexes ----------------------------------------------------------------
    // One index, sorted: entries in order, their bytes in one buffer.
    class QEL_API SortedIndex {
    public:
        struct Entry {
            LONG lKey;
            std::uint32_t nOffset;        // of the bytes in the buffer
            std::uint32_t nSizeAndFlags;  // byte count in the low 24 bits, flags above
        };
        static constexpr std::uint32_t kMaxSize = (1u << 24) - 1;

        std::size_t Size() const { return m_entries.size(); }
        const Entry* Entries() const { return m_entries.data(); }
        const char* Bytes() const { return m_bytes.data(); }
        static std::uint8_t FlagsOf(const Entry& e) { return static_cast<std::uint8_t>(e.nSizeAndFlags >> 24); }
        std::string_view TextOf(const Entry& e) const {
            return {m_bytes.data() + e.nOffset, e.nSizeAndFlags & kMaxSize};
        }
        // The first position whose bytes are not ordered before `text` (the
        // size when there is none).
        std::size_t LowerBound(std::string_view text) const;
        // Heap bytes the index holds (entries and buffer, by capacity).
        std::size_t MemoryUsed() const { return m_entries.capacity() * sizeof(Entry) + m_bytes.capacity(); }

    private:
        friend class CQELObjectSet;
        std::vector<Entry> m_entries;
        std::string m_bytes;
        std::size_t m_nDeadBytes = 0;  // of removed entries, dropped at the next rebuild
    };

    int GetIndexCount() const { return static_cast<int>(m_indexes.size()); }
    // Makes the index current and sorted; FALSE for an index the set does not have.
    BOOL UpdateIndex(int nIndex);
    // The key at a position of an index; FALSE outside the index.
    BOOL GetKey(int nIndex, int nPosition, LONG* plKey);
    // The first position whose entry is not ordered before the probe (the
    // index size when there is none); FALSE for an unknown index or null probe.
    BOOL Search(int nIndex, CQELObjectData* pProbe, int* pnPosition);
    // The index brought up to date, or null for an index the set does not
    // have; valid until the set next changes.
    const SortedIndex* GetSortedIndex(int nIndex);

protected:
    explicit CQELObjectSet(int nIndexCount);

    // Replaces `bytes` with what orders the object in an index (compared as
    // unsigned bytes; equal ones by key) and returns flags of the set's own
    // meaning, kept with the entry. Called once when an object joins the set
    // or replaces another, and for a Search probe.
    virtual std::uint8_t IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const = 0;
    // Whether an object may join the set (its class fits IndexKey).
    virtual bool Accepts(const CQELObjectData* /*pObject*/) const { return true; }

    // A number as four bytes that order like it.
    static void NumberKey(LONG value, std::string& bytes);

private:
    struct Index {
        SortedIndex sorted;
        // Added entries not merged yet; their offsets point into pendingBytes.
        std::vector<SortedIndex::Entry> pending;
        std::string pendingBytes;
    };

    // Adds the object's entries to the pending runs; false (and nothing
    // added) when its bytes do not fit an entry.
    bool AddToIndexes(CQELObjectData* pObject);
    // Removes the object's entries; with bKeepLastPending the entry each
    // pending run got last (the object's replacement) stays.
    void RemoveFromIndexes(const CQELObjectData* pObject, bool bKeepLastPending);
    // Rewrites an index's buffer in entry order without dead bytes.
    static void Compact(SortedIndex& index);

    // Keys to owned objects: linear probing, a power-of-two slot count at
    // most 80 % full, removal by shifting the following run back.
    class KeyTable {
    public:
        struct Slot {
            LONG lKey;
            CQELObjectData* pObject;  // owned; null for a free slot
        };
        KeyTable() = default;
        KeyTable(const KeyTable&) = delete;
        KeyTable& operator=(const KeyTable&) = delete;
        ~KeyTable() { Clear(); }

        std::size_t Size() const { return m_nSize; }
        // The slot holding the key, or null.
        Slot* Find(LONG key) const;
        // Room for `count` objects without growing.
        void Reserve(std::size_t count);
        // Takes ownership; the key must be absent.
        void Insert(LONG key, CQELObjectData* pObject);
        // Deletes the slot's object and frees the slot.
        void Erase(Slot* pSlot);
        void Clear();
        const std::vector<Slot>& Slots() const { return m_slots; }

    private:
        std::size_t Home(LONG key) const;
        std::vector<Slot> m_slots;
        std::size_t m_nSize = 0;
    };

    KeyTable m_table;
    std::vector<Index> m_indexes;
};
