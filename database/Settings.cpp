// The database-wide settings: their defaults, the settings record in TBL200
// row 0 (written whole on every change, read at open and whenever the
// current medium is read), the three flags kept only for the imaging
// application, the disk space controller, and the identity check that ties
// the profile to the database it reached.
#include <qel/database/DatabaseObj.h>

#include <cstdint>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include <qel/database/SettingsRecord.h>
#include <qel/outside/QELServer.h>
#include <qel/outside/Reg.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>

namespace {

constexpr const char* kProfileRoot = "Software\\Talveni\\Quorva";
constexpr const char* kProfilePrefix = "DatabaseJ";

std::string SettingsRowFilter() { return fmt::format("{}={}", "TBLNUMBER", 0); }

}  // namespace

// --- Members and the record ----------------------------------------------

qel::settings::DatabaseSettings CDatabaseObj::CollectSettings() const {
    qel::settings::DatabaseSettings s;
    s.bCompressGrayscaleImages = bCompressGrayscaleImages;
    s.bCompressColorImages = bCompressColorImages;
    s.bAllowDuplicatePatientIDs = bAllowDuplicatePatientIDs;
    s.lCurrentMedia = lCurrentMedia;
    s.bDefaultImageMediaName = bDefaultImageMediaName;
    s.strImageMediaNameFormat = strImageMediaNameFormat;
    s.dateImageMediaNumber = dateImageMediaNumber;
    s.lImageMediaNumber = lImageMediaNumber;
    s.dateLastImageMediaCreation = dateLastImageMediaCreation;
    s.diskSpace = m_DiskSpaceControllerData;
    return s;
}

void CDatabaseObj::ApplySettings(const qel::settings::DatabaseSettings& s) {
    bCompressGrayscaleImages = s.bCompressGrayscaleImages;
    bCompressColorImages = s.bCompressColorImages;
    bAllowDuplicatePatientIDs = s.bAllowDuplicatePatientIDs;
    lCurrentMedia = s.lCurrentMedia;
    bDefaultImageMediaName = s.bDefaultImageMediaName;
    strImageMediaNameFormat = s.strImageMediaNameFormat;
    dateImageMediaNumber = s.dateImageMediaNumber;
    lImageMediaNumber = s.lImageMediaNumber;
    dateLastImageMediaCreation = s.dateLastImageMediaCreation;
    m_DiskSpaceControllerData = s.diskSpace;
}

void CDatabaseObj::SetDefaultDBParams() { ApplySettings(qel::settings::DatabaseSettings()); }

BOOL CDatabaseObj::SaveDBParams() {
    ClearError();
    try {
        CTableRecordset rs(this);
        LONG count = 0;
        const std::string filter = SettingsRowFilter();
        if (!rs.Open(filter.c_str(), nullptr, &count, 1) || count != 1) return SetError(10);

        m_DiskSpaceControllerData.Clean();
        std::vector<std::uint8_t> record = qel::settings::EncodeSettings(CollectSettings());

        rs.Edit();
        rs.m_TBLDATA2.m_data.assign(record.begin(), record.end());
        rs.SetFieldDirty(&rs.m_TBLDATA2);
        rs.SetFieldNull(&rs.m_TBLDATA2, FALSE);
        // FALSE means a database error or a row changed under us: either
        // way the settings did not reach the database.
        if (!rs.Update(0)) return SetError(10);
        return TRUE;
    } catch (...) {
        return SetError(10);
    }
}

BOOL CDatabaseObj::RestoreDBParams() {
    ClearError();
    std::string databaseId;
    std::optional<qel::settings::DatabaseSettings> read;
    bool readFailed = false;
    try {
        CTableRecordset rs(this);
        LONG count = 0;
        const std::string filter = SettingsRowFilter();
        // Without the row the defaults stay; that is not an error.
        if (rs.Open(filter.c_str(), nullptr, &count, 1)) {
            if (count == 1) {
                databaseId.assign(rs.m_TBLDATA1.m_data.begin(), rs.m_TBLDATA1.m_data.end());
                const std::vector<unsigned char>& data = rs.m_TBLDATA2.m_data;
                if (!data.empty()) {
                    read.emplace();
                    qel::settings::DecodeSettings(data.data(), data.size(), &*read);  // defaults when malformed
                }
            }
        } else {
            readFailed = true;
        }
    } catch (...) {
        readFailed = true;
        read.reset();
    }
    // A lost server is not a missing row: the settings in memory and the
    // profile's identity and current doctor stay as they are.
    if (readFailed && m_pDatabase != nullptr && m_pDatabase->IsConnectionDead()) return SetError(10);
    SetDefaultDBParams();
    if (read) ApplySettings(*read);

    InitDiskSpaceControllerData();
    if (lErrorCode != 0) return PassOnError();

    if (lCurrentMedia != 0) {
        if (!CheckMediaSet(nullptr, FALSE)) return SetError(10);
        // The record keeps its stale medium; only memory forgets it.
        if (!m_pMediaSet->Exist(lCurrentMedia)) lCurrentMedia = 0;
    }
    return CheckProfileIdentity(databaseId);
}

// --- Profile identity --------------------------------------------------------

BOOL CDatabaseObj::CheckProfileIdentity(const std::string& databaseId) {
    const std::string key = fmt::format("{}\\{}{}", kProfileRoot, kProfilePrefix, lKey);
    CReg reg(HKEY_CURRENT_USER, key.c_str());
    const LONG noDoctor = 0;

    if (!m_strID.empty() && m_strID == databaseId) {
        if (!CheckDoctorSet(nullptr)) return SetError(10);
        if (m_pDoctorSet->Exist(lCurrentDoctor)) return TRUE;
        lCurrentDoctor = noDoctor;
        if (!reg.SetValue("CurrentDoctor", noDoctor)) return SetError(10);
        return TRUE;
    }

    // No remembered identity, or another database behind the data source.
    m_strID = databaseId;
    lCurrentDoctor = noDoctor;
    if (!reg.SetValue("DatabaseID", m_strID.c_str()) || !reg.SetValue("CurrentDoctor", noDoctor))
        return SetError(10);
    return TRUE;
}

// --- The three flags -----------------------------------------------------------

BOOL CDatabaseObj::GetBCompressGrayscaleImages() {
    ClearError();
    if (!bIsOpen) return SetError(50);
    return bCompressGrayscaleImages;
}

void CDatabaseObj::SetBCompressGrayscaleImages(BOOL value) {
    ChangeSetting(bCompressGrayscaleImages, value);
}

BOOL CDatabaseObj::GetBCompressColorImages() {
    ClearError();
    if (!bIsOpen) return SetError(50);
    return bCompressColorImages;
}

void CDatabaseObj::SetBCompressColorImages(BOOL value) { ChangeSetting(bCompressColorImages, value); }

BOOL CDatabaseObj::GetBAllowDuplicatePatientIDs() {
    ClearError();
    if (!bIsOpen) return SetError(50);
    return bAllowDuplicatePatientIDs;
}

void CDatabaseObj::SetBAllowDuplicatePatientIDs(BOOL value) {
    ChangeSetting(bAllowDuplicatePatientIDs, value);
}

// --- Disk space controller -------------------------------------------------------

BOOL CDatabaseObj::GetDiskSpaceControllerData(CDiskSpaceControllerData* pData) {
    if (!bIsOpen) return FALSE;
    if (pData == nullptr) return SetError(20);
    *pData = m_DiskSpaceControllerData;
    return TRUE;
}

BOOL CDatabaseObj::SetDiskSpaceControllerData(const CDiskSpaceControllerData& data) {
    if (!bIsOpen) return FALSE;
    m_DiskSpaceControllerData = data;
    if (!SaveDBParams() || lErrorCode != 0) {
        PassOnError();
        ClearError();
        return FALSE;
    }
    InitDiskSpaceControllerData();
    if (lErrorCode != 0) {
        PassOnError();
        ClearError();
        return FALSE;
    }
    return TRUE;
}

BOOL CDatabaseObj::CheckDiskSpace(int nRequired) {
    ClearError();
    if (!bIsOpen) return SetError(50);
    const CDiskSpaceControllerData& disk = m_DiskSpaceControllerData;
    if (!disk.m_bEnabled) return TRUE;

    LONG free = 0;
    if (m_pServer == nullptr || FAILED(m_pServer->GetFreeDiskSpace(&free))) return SetError(7160);
    // 32-bit subtraction that wraps, as the server's numbers are 32-bit.
    const auto rest = static_cast<LONG>(static_cast<std::uint32_t>(free) - static_cast<std::uint32_t>(nRequired));
    if (rest < disk.m_lErrorThreshold) return SetError(7180);
    if (rest < disk.m_lWarningThreshold) return SetError(7170);
    return TRUE;
}

BOOL CDatabaseObj::InitDiskSpaceControllerData() {
    const CDiskSpaceControllerData& disk = m_DiskSpaceControllerData;
    if (m_pServer == nullptr) {
        SetError(10);
        return TRUE;
    }
    try {
        std::vector<DiskSpaceItemRecord> records(disk.m_aItems.size());
        for (size_t i = 0; i < records.size(); ++i) FillDiskSpaceItemRecord(disk.m_aItems[i], &records[i]);
        const HRESULT hr =
            m_pServer->InitDiskSpaceController(disk.m_bEnabled, disk.m_lWarningThreshold, disk.m_lErrorThreshold,
                                               static_cast<LONG>(records.size()), records.empty() ? nullptr : records.data());
        if (FAILED(hr)) SetError(10);
    } catch (...) {
        SetError(10);
    }
    // Callers learn of a failure from lErrorCode.
    return TRUE;
}
