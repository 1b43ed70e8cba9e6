// The in-memory object sets of the cached tables: each is built from its
// table the first time an operation needs it (one pass, one object per row)
// and lives until the database is closed. The builders share one
// implementation; a failed build leaves no partial set behind.
#include <qel/database/DatabaseObj.h>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/LayoutData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>

namespace {

constexpr UINT kPatientBuckets = 30029;

// Fills `set` from every row of the record set. Rows whose key equals the
// excluded key, or is 0 where placeholders are skipped, stay out.
template <class Recordset, class Data, class KeyOf>
bool FillSet(Recordset& rs, CQELObjectSet& set, const CQELObjectData* pExclude, bool skipZeroKey, KeyOf keyOf) {
    if (!rs.Open(nullptr, nullptr, nullptr, 0)) return false;
    for (; !rs.IsEOF(); rs.MoveNext()) {
        const LONG key = keyOf(rs);
        if (pExclude != nullptr && key == pExclude->m_lKey) continue;
        if (skipZeroKey && key == 0) continue;
        auto data = std::make_unique<Data>(rs);
        Data* raw = data.get();
        if (!set.Add(key, raw)) return false;
        data.release();  // the set owns it now
        raw->m_bLoaded = TRUE;
    }
    // A read that failed part-way ends the rows early and leaves its error.
    return !rs.GetLastError().has_value();
}

// Runs a build into a fresh set stored in `field`; on any failure the set is
// deleted again and the field reset.
template <class Set, class Build>
BOOL BuildSet(std::unique_ptr<Set>& field, std::unique_ptr<Set> fresh, Build build) {
    field = std::move(fresh);
    bool ok = false;
    try {
        ok = build(*field);
    } catch (...) {
        ok = false;
    }
    if (!ok) field.reset();
    return ok ? TRUE : FALSE;
}

}  // namespace

BOOL CDatabaseObj::CheckDoctorSet(CDoctorData* pExclude) {
    if (m_pDoctorSet) return TRUE;
    return BuildSet(m_pDoctorSet, std::make_unique<CDoctorSet>(), [&](CDoctorSet& set) {
        CDoctorRecordset rs(this);
        return FillSet<CDoctorRecordset, CDoctorData>(rs, set, pExclude, true, [](auto& r) { return r.m_DOCKEY; });
    });
}

BOOL CDatabaseObj::CheckMediaTypeSet(CMediaTypeData* pExclude) {
    if (m_pMediaTypeSet) return TRUE;
    return BuildSet(m_pMediaTypeSet, std::make_unique<CMediaTypeSet>(), [&](CMediaTypeSet& set) {
        CMediaTypeRecordset rs(this);
        return FillSet<CMediaTypeRecordset, CMediaTypeData>(rs, set, pExclude, false,
                                                            [](auto& r) { return r.m_IMTKEY; });
    });
}

BOOL CDatabaseObj::CheckMediaSet(CMediaData* pExclude, BOOL bReload) {
    if (m_pMediaSet && bReload) m_pMediaSet.reset();
    if (m_pMediaSet) return TRUE;
    return BuildSet(m_pMediaSet, std::make_unique<CMediaSet>(), [&](CMediaSet& set) {
        CMediaRecordset rs(this);
        return FillSet<CMediaRecordset, CMediaData>(rs, set, pExclude, true, [](auto& r) { return r.m_MEDKEY; });
    });
}

BOOL CDatabaseObj::CheckPatientSet(CPatientData* pExclude) {
    if (m_pPatientSet) return TRUE;
    CPatientRecordset rs(this);
    CheckDoctorSet(nullptr);  // a patient set is built even without its doctors
    return BuildSet(m_pPatientSet, std::make_unique<CPatientSet>(m_pDoctorSet.get()), [&](CPatientSet& set) {
        set.InitHashTable(kPatientBuckets, TRUE);
        return FillSet<CPatientRecordset, CPatientData>(rs, set, pExclude, false, [](auto& r) { return r.m_PATKEY; });
    });
}

BOOL CDatabaseObj::PatientsRead() { return m_pPatientSet ? TRUE : FALSE; }

void CDatabaseObj::DeleteObjectSets() {
    m_pDoctorSet.reset();
    m_pMediaTypeSet.reset();
    m_pMediaSet.reset();
    m_pPatientSet.reset();
    m_pLayoutSet.reset();
}
