// CQELObjectSet: a keyed set of cached records with numbered sorted indexes.
//
// The set maps record keys to objects it owns (a hash map, sized on demand
// with InitHashTable) and keeps, per index number, the objects ordered by the
// set's Compare. Adding thousands of objects does not re-sort: new entries
// wait in a pending run that UpdateIndex sorts and merges in, and every
// positional read (GetKey, Search) brings its index up to date first.
//
//   CPatientSet set(nullptr);
//   set.InitHashTable(30029);
//   set.Add(patient->m_lKey, patient.release());   // the set owns it now
//   set.GetKey(0, 0, &key);                        // first patient by name
//
// Add, Replace and Delete change the cache only; rows are written by the
// record sets. A failed Add or Replace leaves the caller owning its object.
#pragma once

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <qel/outside/records/ObjectData.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class QEL_API CQELObjectSet {
public:
    using Map = std::unordered_map<LONG, std::unique_ptr<CQELObjectData>>;

    virtual ~CQELObjectSet();
    CQELObjectSet(const CQELObjectSet&) = delete;
    CQELObjectSet& operator=(const CQELObjectSet&) = delete;

    // --- The key map ----------------------------------------------------------
    // Prepares room for about `buckets` objects (the bucket count is a hint).
    void InitHashTable(UINT buckets, BOOL bAllocNow = TRUE);
    LONG GetCount() const { return static_cast<LONG>(m_map.size()); }
    BOOL Lookup(LONG key, CQELObjectData*& pObject) const;
    // Visits every object in hash order; the visitor must not change the set.
    void ForEach(const std::function<void(LONG key, CQELObjectData* pObject)>& visit) const;
    // The first object in hash order, or null when empty.
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
    int GetIndexCount() const { return static_cast<int>(m_indexes.size()); }
    // Makes the index current and sorted; FALSE for an index the set does not have.
    BOOL UpdateIndex(int nIndex);
    // The key at a position of an index; FALSE outside the index.
    BOOL GetKey(int nIndex, int nPosition, LONG* plKey);
    // The first position whose entry is not ordered before the probe (the
    // index size when there is none); FALSE for an unknown index or null probe.
    BOOL Search(int nIndex, CQELObjectData* pProbe, int* pnPosition);

protected:
    explicit CQELObjectSet(int nIndexCount);

    // Orders two objects in an index: negative, zero or positive.
    virtual int Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const = 0;
    // Lets a set precompute what Compare reads (called on Add, Replace and
    // for a Search probe).
    virtual void PrepareForIndex(CQELObjectData* /*pObject*/) const {}
    // Whether an object may join the set (its class fits Compare).
    virtual bool Accepts(const CQELObjectData* /*pObject*/) const { return true; }

private:
    struct Index {
        std::vector<CQELObjectData*> sorted;
        std::vector<CQELObjectData*> pending;
    };

    bool Less(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const;
    void AddToIndexes(CQELObjectData* pObject);
    void RemoveFromIndexes(CQELObjectData* pObject);

    Map m_map;
    std::vector<Index> m_indexes;
};
