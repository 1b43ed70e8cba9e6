#include <qel/outside/records/CachedData.h>

#include <qel/outside/odbc/Timestamp.h>
#include <qel/outside/records/ObjectSet.h>
#include <qel/outside/records/Recordset.h>

namespace {

// A timestamp column as a date: null when the column was null or holds no
// valid date.
CExtOleDateTime DateOf(CQELRecordset& rs, const TIMESTAMP_STRUCT& field) {
    CExtOleDateTime date;
    if (rs.IsFieldNull(&field)) {
        date.SetStatus(CExtOleDateTime::null);
        return date;
    }
    try {
        date = CExtOleDateTime(qel::odbc::AutomationDateFromTimestamp(field));
    } catch (const std::exception&) {
        date.SetStatus(CExtOleDateTime::invalid);
    }
    return date;
}

}  // namespace

CDoctorData::CDoctorData(CDoctorRecordset& rs)
    : CQELObjectData(rs.m_DOCKEY), m_strID(rs.m_DOCID), m_strName(rs.m_DOCNAME), m_strKanjiName(rs.m_DOCKANJINAME) {}

CMediaTypeData::CMediaTypeData(CMediaTypeRecordset& rs)
    : CQELObjectData(rs.m_IMTKEY),
      m_strName(rs.m_IMTNAME),
      m_lWarningThreshold(rs.m_IMTWARNING),
      m_lErrorThreshold(rs.m_IMTERROR) {}

CMediaData::CMediaData(CMediaRecordset& rs)
    : CQELObjectData(rs.m_MEDKEY),
      m_strID(rs.m_MEDID),
      m_lMediaTypeKey(rs.m_MEDIMTKEY),
      m_strDirectory(rs.m_MEDDIRECTORY),
      m_strVolumeLabel(rs.m_MEDVOLUMELABEL),
      m_lSize(rs.m_MEDSIZE) {
    m_lOwnerKey = rs.m_MEDIMTKEY;
}

CPatientData::CPatientData() = default;

CPatientData::CPatientData(CPatientRecordset& rs)
    : CQELObjectData(rs.m_PATKEY),
      m_nImageCount(rs.m_PATIMGCNT),
      m_nSex(rs.m_PATSEX),
      m_texts({rs.m_PATID, rs.m_PATNAME, rs.m_PATKANJINAME, rs.m_PATNUMBER}) {
    m_lOwnerKey = rs.m_PATDOCKEY;
    SetDateCreated(DateOf(rs, rs.m_PATCREATED));
    SetDateNewestImage(DateOf(rs, rs.m_PATNEWESTIMG));
    SetDateBirth(DateOf(rs, rs.m_PATBIRTHDATE));
}

CExtOleDateTime CPatientData::Date(DateField field) const {
    CExtOleDateTime date;
    date.m_dt = m_dates[field];
    date.m_status = static_cast<CExtOleDateTime::DateTimeStatus>(m_dateStatus[field]);
    return date;
}

void CPatientData::SetDate(DateField field, const CExtOleDateTime& date) {
    m_dates[field] = date.m_dt;
    m_dateStatus[field] = static_cast<unsigned char>(date.m_status);
}

CPatientData::~CPatientData() = default;
