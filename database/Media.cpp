// Image media: the current medium, the running number of the media created
// during one day, and the naming options offered to the client that
// creates a medium. All are database-wide settings, saved whole on change.
#include <qel/database/DatabaseObj.h>

#include <fmt/format.h>

#include <qel/outside/ExtString.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>

LONG CDatabaseObj::GetLCurrentMedia() {
    ClearError();
    if (!bIsOpen) {
        SetError(50);
        return -1;
    }
    // Reading refreshes every setting, including what other workstations saved.
    RestoreDBParams();
    if (lErrorCode != 0) {
        PassOnError();
        return -1;
    }
    return lCurrentMedia;
}

void CDatabaseObj::SetLCurrentMedia(LONG lMediaKey) {
    ClearError();
    if (!bIsOpen) {
        SetError(50);
        return;
    }
    if (lMediaKey == lCurrentMedia) return;

    if (lMediaKey != 0) {
        LONG typeKey = 0;
        LONG count = 0;
        try {
            CMediaRecordset rs(this);
            const std::string filter = fmt::format("{}={}", "MEDKEY", lMediaKey);
            if (!rs.Open(filter.c_str(), nullptr, &count, 1)) {
                SetError(10);
                return;
            }
            if (count > 0) typeKey = rs.m_MEDIMTKEY;
            rs.Close();
        } catch (...) {
            SetError(10);
            return;
        }
        if (count != 1) {
            SetError(8020);
            return;
        }
        if (!CheckMediaTypeSet(nullptr)) {
            SetError(10);
            return;
        }
        CMediaTypeData* type = nullptr;
        if (!m_pMediaTypeSet->GetAs(typeKey, &type)) {
            SetError(8020);
            return;
        }
        if (!type->TypeNetworkFolder()) {
            SetError(60);
            return;
        }
    }

    ChangeSetting(lCurrentMedia, lMediaKey);
}

int CDatabaseObj::GetImageMediaNumber() {
    return dateImageMediaNumber == CExtOleDateTime::Today() ? lImageMediaNumber : 1;
}

BOOL CDatabaseObj::IncrementImageMediaNumber() {
    if (!bIsOpen) return SetError(50);
    const CExtOleDateTime today = CExtOleDateTime::Today();
    if (dateImageMediaNumber == today) {
        ++lImageMediaNumber;
    } else {
        // The first medium of the new day has used 1.
        lImageMediaNumber = 2;
        dateImageMediaNumber = today;
    }
    SaveDBParams();
    if (lErrorCode != 0) {
        // The advanced values stay in memory; the caller only learns FALSE.
        PassOnError();
        ClearError();
        return FALSE;
    }
    return TRUE;
}

BOOL CDatabaseObj::GetBDefaultImageMediaName() {
    ClearError();
    if (!bIsOpen) return SetError(50);
    return bDefaultImageMediaName;
}

void CDatabaseObj::SetBDefaultImageMediaName(BOOL value) { ChangeSetting(bDefaultImageMediaName, value); }

BSTR CDatabaseObj::GetStrImageMediaNameFormat() {
    ClearError();
    if (!bIsOpen) {
        SetError(50);
        return MakeBstr({});
    }
    return MakeBstr(strImageMediaNameFormat);
}

void CDatabaseObj::SetStrImageMediaNameFormat(LPCSTR value) {
    CExtString text(value);
    text.Trim();
    ChangeSetting(strImageMediaNameFormat, std::string(text.Str()));
}

DATE CDatabaseObj::GetDateLastImageMediaCreation() {
    ClearError();
    if (!bIsOpen) {
        SetError(50);
        return 0.0;
    }
    return dateLastImageMediaCreation.GetValue();
}

void CDatabaseObj::SetDateLastImageMediaCreation(DATE value) {
    CExtOleDateTime date(value);
    date.SetStatus(CExtOleDateTime::valid);
    ChangeSetting(dateLastImageMediaCreation, date, /*bSaveUnchanged=*/true);
}
