// The object sets of the cached tables, and what each index orders by (the
// bytes IndexKey gives; numbers in NumberKey form):
//   CDoctorSet     0: name (upper-cased, width- and kana-folded)
//   CMediaTypeSet  0: key
//   CMediaSet      0: key
//   CPatientSet    0: name, 1: number (both folded like the search compares)
//   CLayoutSet     0: page ID
//   CImageSet, CStatusSet (per patient) 0: key
// Equal entries are ordered by key.
#pragma once

#include <string>
#include <string_view>

#include <qel/outside/records/ObjectSet.h>

class QEL_API CDoctorSet : public CQELObjectSet {
public:
    CDoctorSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    std::uint8_t IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const override;
};

class QEL_API CMediaTypeSet : public CQELObjectSet {
public:
    CMediaTypeSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    std::uint8_t IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const override;
};

class QEL_API CMediaSet : public CQELObjectSet {
public:
    CMediaSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    std::uint8_t IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const override;
};

class QEL_API CPatientSet : public CQELObjectSet {
public:
    // The doctor set the patients refer to (may be null; not owned).
    explicit CPatientSet(CDoctorSet* pDoctorSet) : CQELObjectSet(2), m_pDoctorSet(pDoctorSet) {}
    CDoctorSet* GetDoctorSet() const { return m_pDoctorSet; }

    // The sort key of a text: what the index orders and the search compares.
    static std::string SortKey(std::string_view text);

    // Flags of a patient index entry, about the indexed field (the name or
    // the number) and its sort key, so that a search can tell from the
    // entry alone whether the sort key stands for the field:
    enum : std::uint8_t {
        kAsciiKey = 1,    // the sort key is ASCII
        kAsciiField = 2,  // the field is ASCII
        kPlainField = 4,  // the field has no "@" and no blank at either end
    };

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    std::uint8_t IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const override;

private:
    CDoctorSet* m_pDoctorSet;
};

// Keyed sets of a patient's images and status records.
class QEL_API CKeyOrderedSet : public CQELObjectSet {
public:
    CKeyOrderedSet() : CQELObjectSet(1) {}

protected:
    std::uint8_t IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const override;
};

class QEL_API CLayoutSet : public CQELObjectSet {
public:
    CLayoutSet() : CQELObjectSet(1) {}

protected:
    bool Accepts(const CQELObjectData* pObject) const override;
    std::uint8_t IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const override;
};
