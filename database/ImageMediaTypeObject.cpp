#include <qel/database/ImageMediaTypeObject.h>

#include <memory>
#include <new>
#include <string>

#include <qel/database/DatabaseObj.h>
#include <qel/database/ErrorCodes.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>
#include <qel/platform/DispatchTable.h>

using qel::platform::Variant;

namespace {

constexpr const char* kModule = "ImageMediaType";
// IMTNAME holds at most this many characters.
constexpr size_t kMaxNameLength = 40;

}  // namespace

class CImageMediaTypeObject final : public qel::platform::DispatchObject<CImageMediaTypeObject> {
public:
    CImageMediaTypeObject() { AfxOleLockApp(); }
    ~CImageMediaTypeObject() override { AfxOleUnlockApp(); }

    const qel::platform::DispatchTable<CImageMediaTypeObject>& Table() const {
        using DT = qel::platform::DispatchTable<CImageMediaTypeObject>;
        using VT = qel::platform::DispType;
        using C = CImageMediaTypeObject;
        static const DT table({
            DT::Method<&C::CreatePriv, VT::Bool, VT::Variant>("CreatePriv", 1),
            DT::Method<&C::AddNew, VT::Bool>("AddNew", 2),
            DT::Method<&C::Update, VT::Bool>("Update", 3),
            DT::Property<&C::GetStrName, &C::SetStrName, VT::String>("strName", 4),
            DT::Property<&C::GetLWarningThreshold, &C::SetLWarningThreshold, VT::Long>("lWarningThreshold", 5),
            DT::Property<&C::GetLErrorThreshold, &C::SetLErrorThreshold, VT::Long>("lErrorThreshold", 6),
            DT::ReadOnly<&C::GetLErrorCode, VT::Long>("lErrorCode", 7),
            DT::ReadOnly<&C::GetStrError, VT::String>("strError", 8),
        });
        return table;
    }

private:
    void Clear() { qel::database::ClearErrorState(&m_lErrorCode, &m_strError); }
    BOOL Fail(LONG code, int line = __builtin_LINE()) {
        return qel::database::SetErrorState(code, &m_lErrorCode, &m_strError, kModule, line);
    }

    // The parent is the database object's IDispatch or its GetPtr value.
    BOOL CreatePriv(const Variant& parent);
    BOOL AddNew();
    BOOL Update();
    // The bound database object when it is open, or null with the error set.
    CDatabaseObj* OpenParent();

    std::string GetStrName() { return m_strName; }
    void SetStrName(const std::string& value) {
        Clear();
        m_strName = value;
    }
    LONG GetLWarningThreshold() { return m_lWarningThreshold; }
    void SetLWarningThreshold(LONG value) {
        Clear();
        m_lWarningThreshold = value;
    }
    LONG GetLErrorThreshold() { return m_lErrorThreshold; }
    void SetLErrorThreshold(LONG value) {
        Clear();
        m_lErrorThreshold = value;
    }
    LONG GetLErrorCode() { return m_lErrorCode; }
    std::string GetStrError() { return m_strError; }

    LONG m_lParent = 0;
    bool m_bNew = false;
    std::string m_strName;
    LONG m_lWarningThreshold = 0;
    LONG m_lErrorThreshold = 0;
    LONG m_lErrorCode = 0;
    std::string m_strError;
};

BOOL CImageMediaTypeObject::CreatePriv(const Variant& parent) {
    LONG lParent = 0;
    if (parent.Type() == VT_DISPATCH) {
        Variant ptr;
        IDispatch* dispatch = parent.GetDispatch();
        if (dispatch == nullptr || FAILED(qel::platform::CallMethod(dispatch, "GetPtr", {}, &ptr)) ||
            !ptr.ToLong(&lParent))
            lParent = 0;  // not a database object: answers 50
    } else if (!parent.ToLong(&lParent)) {
        throw qel::platform::DispatchFailure{DISP_E_TYPEMISMATCH};
    }
    Clear();
    m_bNew = false;
    m_lParent = lParent;
    return OpenParent() != nullptr ? TRUE : FALSE;
}

CDatabaseObj* CImageMediaTypeObject::OpenParent() {
    CDatabaseObj* db = CDatabaseObj::FromPtr(m_lParent);
    if (db == nullptr || !db->bIsOpen) {
        Fail(50);
        return nullptr;
    }
    return db;
}

BOOL CImageMediaTypeObject::AddNew() {
    Clear();
    if (OpenParent() == nullptr) return FALSE;
    m_bNew = true;
    m_strName.clear();
    m_lWarningThreshold = 0;
    m_lErrorThreshold = 0;
    return TRUE;
}

BOOL CImageMediaTypeObject::Update() {
    Clear();
    CDatabaseObj* db = OpenParent();
    if (db == nullptr) return FALSE;
    if (!m_bNew) return Fail(20);
    if (m_strName.empty() || m_strName.size() > kMaxNameLength || m_lWarningThreshold < 0 || m_lErrorThreshold < 0)
        return Fail(20);
    if (const LONG code = db->AddMediaType(m_strName, m_lWarningThreshold, m_lErrorThreshold); code != 0)
        return Fail(code);
    m_bNew = false;
    return TRUE;
}

IDispatch* CreateImageMediaTypeObject() { return new (std::nothrow) CImageMediaTypeObject(); }

// --- CDatabaseObj: the media types this object adds -------------------------

LONG CDatabaseObj::AddMediaType(const std::string& strTypeName, LONG lWarningThreshold, LONG lErrorThreshold) {
    if (!CheckMediaTypeSet(nullptr)) return 10;
    bool taken = false;
    m_pMediaTypeSet->ForEach([&](LONG, CQELObjectData* p) {
        const auto* type = dynamic_cast<const CMediaTypeData*>(p);
        if (type != nullptr && type->m_strName == strTypeName) taken = true;
    });
    if (taken) return 8000;

    LONG key = 0;
    if (!GetNewKey(eTableIMT, &key)) return 10;
    try {
        CMediaTypeRecordset rs(this);
        if (!rs.Open("IMTKEY=-1", nullptr, nullptr, 0)) return 10;
        rs.AddNew();
        rs.m_IMTKEY = key;
        rs.SetFieldDirty(&rs.m_IMTKEY);
        rs.m_IMTNAME = strTypeName;
        rs.SetFieldDirty(&rs.m_IMTNAME);
        rs.m_IMTWARNING = lWarningThreshold;
        rs.SetFieldDirty(&rs.m_IMTWARNING);
        rs.m_IMTERROR = lErrorThreshold;
        rs.SetFieldDirty(&rs.m_IMTERROR);
        if (!rs.Update(0)) return 10;

        auto data = std::make_unique<CMediaTypeData>();
        data->m_lKey = key;
        data->m_strName = strTypeName;
        data->m_lWarningThreshold = lWarningThreshold;
        data->m_lErrorThreshold = lErrorThreshold;
        data->m_bLoaded = TRUE;
        if (!m_pMediaTypeSet->Add(key, data.get())) return 10;
        data.release();  // the set owns it now
    } catch (...) {
        return 10;
    }
    return 0;
}
