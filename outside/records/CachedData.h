// The cached records of the record library: one class per cached table
// (doctors, media types, media, patients) and the per-patient images and
// status records. Each is built from its record set positioned on a row, or
// default-constructed (a search probe, a record a client is about to add).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <qel/outside/ExtOleDateTime.h>
#include <qel/outside/records/ObjectData.h>
#include <qel/outside/records/PackedTexts.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

class CQELObjectSet;
class CDoctorRecordset;
class CMediaTypeRecordset;
class CMediaRecordset;
class CPatientRecordset;

class QEL_API CDoctorData : public CQELObjectData {
public:
    CDoctorData() = default;
    explicit CDoctorData(CDoctorRecordset& rs);
    const char* GetClassName() const override { return "CDoctorData"; }

    std::string m_strID;
    std::string m_strName;
    std::string m_strKanjiName;
};

class QEL_API CMediaTypeData : public CQELObjectData {
public:
    CMediaTypeData() = default;
    explicit CMediaTypeData(CMediaTypeRecordset& rs);
    const char* GetClassName() const override { return "CMediaTypeData"; }

    // A network folder has no capacity to watch: both thresholds are 0. Such
    // media types are not exported to parameter files, and only media of this
    // kind can be the current medium.
    BOOL TypeNetworkFolder() const { return m_lWarningThreshold == 0 && m_lErrorThreshold == 0; }

    std::string m_strName;
    LONG m_lWarningThreshold = 0;
    LONG m_lErrorThreshold = 0;
};

class QEL_API CMediaData : public CQELObjectData {
public:
    CMediaData() = default;
    explicit CMediaData(CMediaRecordset& rs);
    const char* GetClassName() const override { return "CMediaData"; }

    std::string m_strID;
    LONG m_lMediaTypeKey = -1;
    std::string m_strDirectory;
    std::string m_strVolumeLabel;
    LONG m_lSize = 0;
};

// An image of a patient (owner key = the patient's key).
class QEL_API CImageData : public CQELObjectData {
public:
    CImageData() = default;
    const char* GetClassName() const override { return "CImageData"; }

    // Releases the full-size image buffer.
    void DeleteNormalImage() { std::vector<unsigned char>().swap(m_normalImage); }
    bool HasNormalImage() const { return !m_normalImage.empty(); }

    std::vector<unsigned char> m_normalImage;
};

// A status record of a patient (owner key = the patient's key).
class QEL_API CStatusData : public CQELObjectData {
public:
    CStatusData() = default;
    const char* GetClassName() const override { return "CStatusData"; }

    std::string m_strName;
};

// A patient; the owner key is the patient's doctor (PATDOCKEY).
//
// The set keeps every patient of the clinic, so the texts share one block
// and the dates their statuses: read and written through the accessors,
// which return copies or views (a view lasts until that text is set again).
class QEL_API CPatientData : public CQELObjectData {
public:
    CPatientData();
    explicit CPatientData(CPatientRecordset& rs);
    ~CPatientData() override;
    const char* GetClassName() const override { return "CPatientData"; }

    // NUL-terminated views: data() may be passed as a C string.
    std::string_view GetID() const { return m_texts[kID]; }
    std::string_view GetName() const { return m_texts[kName]; }
    std::string_view GetKanjiName() const { return m_texts[kKanjiName]; }
    std::string_view GetNumber() const { return m_texts[kNumber]; }
    void SetID(std::string_view text) { m_texts.Set(kID, text); }
    void SetName(std::string_view text) { m_texts.Set(kName, text); }
    void SetKanjiName(std::string_view text) { m_texts.Set(kKanjiName, text); }
    void SetNumber(std::string_view text) { m_texts.Set(kNumber, text); }

    CExtOleDateTime GetDateCreated() const { return Date(kCreated); }
    CExtOleDateTime GetDateNewestImage() const { return Date(kNewestImage); }
    CExtOleDateTime GetDateBirth() const { return Date(kBirth); }
    void SetDateCreated(const CExtOleDateTime& date) { SetDate(kCreated, date); }
    void SetDateNewestImage(const CExtOleDateTime& date) { SetDate(kNewestImage, date); }
    void SetDateBirth(const CExtOleDateTime& date) { SetDate(kBirth, date); }

    // The two shorts come first: they fill the padding after the base's
    // members.
    SHORT m_nImageCount = 0;
    SHORT m_nSex = 0;

    // Per-patient sets of images and status records, created on demand by
    // the record library's clients and freed when nobody uses them.
    std::unique_ptr<CQELObjectSet> m_pImageSet;
    std::unique_ptr<CQELObjectSet> m_pStatusSet;

private:
    enum Text { kID, kName, kKanjiName, kNumber };
    enum DateField { kCreated, kNewestImage, kBirth };

    CExtOleDateTime Date(DateField field) const;
    void SetDate(DateField field, const CExtOleDateTime& date);

    qel::records::PackedTexts<4> m_texts;
    DATE m_dates[3] = {0.0, 0.0, 0.0};
    unsigned char m_dateStatus[3] = {CExtOleDateTime::null, CExtOleDateTime::null, CExtOleDateTime::null};
};
