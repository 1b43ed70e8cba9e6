// The object sets of the cached tables. Index orders:
//   CDoctorSet     0: name (upper-cased, width- and kana-folded)
//   CMediaTypeSet  0: key
//   CMediaSet      0: key
//   CPatientSet    0: name, 1: number (both folded like the search compares)
//   CLayoutSet     0: page ID
//   CImageSet, CStatusSet (per patient) 0: key
// Equal entries are ordered by key.
#pragma once

#include <qel/outside/records/ObjectSet.h>

class QEL_API CDoctorSet : public CQELObjectSet {
public:
    CDoctorSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    int Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const override;
    void PrepareForIndex(CQELObjectData* pObject) const override;
};

class QEL_API CMediaTypeSet : public CQELObjectSet {
public:
    CMediaTypeSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    int Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const override;
};

class QEL_API CMediaSet : public CQELObjectSet {
public:
    CMediaSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    int Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const override;
};

class QEL_API CPatientSet : public CQELObjectSet {
public:
    // The doctor set the patients refer to (may be null; not owned).
    explicit CPatientSet(CDoctorSet* pDoctorSet) : CQELObjectSet(2), m_pDoctorSet(pDoctorSet) {}
    CDoctorSet* GetDoctorSet() const { return m_pDoctorSet; }

    // The sort key of a text: what the index orders and the search compares.
    static std::string SortKey(const std::string& text);

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    int Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const override;
    void PrepareForIndex(CQELObjectData* pObject) const override;

private:
    CDoctorSet* m_pDoctorSet;
};

// Keyed sets of a patient's images and status records.
class QEL_API CKeyOrderedSet : public CQELObjectSet {
public:
    CKeyOrderedSet() : CQELObjectSet(1) {}

protected:
    int Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const override;
};

class QEL_API CLayoutSet : public CQELObjectSet {
public:
    CLayoutSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    int Compare(int nIndex, const CQELObjectData* a, const CQELObjectData* b) const override;
};
