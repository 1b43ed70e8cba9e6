#include <qel/database/ImageMediaTypeObject.h>

#include <memory>
#include <new>
#include <string>

#include <qel/BuildInfo.h>
#include <qel/database/DatabaseObj.h>
#include <qel/outside/Log.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/outside/records/Recordset.h>
#include <qel/outside/records/TableCatalogue.h>

using qel::platform::Variant;

namespace {

constexpr const char* kModule = "ImageMediaType";
// IMTNAME holds at most this many characters.
constexpr size_t kMaxNameLength = 40;

}  // namespace

class CImageMediaTypeObject final : public qel::platform::DispatchObject {
public:
    enum : DISPID { kCreatePriv = 1, kAddNew, kUpdate, kName, kWarning, kError, kErrorCode, kErrorText };

    CImageMediaTypeObject()
        : DispatchObject({{"CreatePriv", kCreatePriv},
                          {"AddNew", kAddNew},
                          {"Update", kUpdate},
                          {"strName", kName},
                          {"lWarningThreshold", kWarning},
                          {"lErrorThreshold", kError},
                          {"lErrorCode", kErrorCode},
                          {"strError", kErrorText}}) {
        AfxOleLockApp();
    }
    ~CImageMediaTypeObject() override { AfxOleUnlockApp(); }

private:
    HRESULT OnInvoke(DISPID dispId, WORD flags, std::span<const Variant> args, Variant* result) override;

    BOOL Fail(LONG code, int line = __builtin_LINE()) {
        m_lErrorCode = code;
        m_strError.clear();
        WriteLogError(code, kModule, line, QEL_BUILD_TIME);
        return FALSE;
    }
    void Clear() {
        m_lErrorCode = 0;
        m_strError.clear();
    }

    BOOL CreatePriv(LONG lParent);
    BOOL AddNew();
    BOOL Update();
    // The bound database object when it is open, or null with the error set.
    CDatabaseObj* OpenParent();

    LONG m_lParent = 0;
    bool m_bNew = false;
    std::string m_strName;
    LONG m_lWarningThreshold = 0;
    LONG m_lErrorThreshold = 0;
    LONG m_lErrorCode = 0;
    std::string m_strError;

};

HRESULT CImageMediaTypeObject::OnInvoke(DISPID dispId, WORD flags, std::span<const Variant> args, Variant* result) {
    const bool method = (flags & DISPATCH_METHOD) != 0;
    const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    auto answer = [&](BOOL ok) {
        if (result != nullptr) *result = Variant(Variant::Bool{ok != FALSE});
        return S_OK;
    };
    auto longProperty = [&](LONG& member) -> HRESULT {
        if (get && args.empty()) {
            if (result != nullptr) *result = Variant(member);
            return S_OK;
        }
        if (put && args.size() == 1) {
            Clear();
            if (!args[0].ToLong(&member)) return DISP_E_TYPEMISMATCH;
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    };

    switch (dispId) {
        case kCreatePriv: {
            if (!method) return DISP_E_MEMBERNOTFOUND;
            if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
            LONG parent = 0;
            if (args[0].Type() == VT_DISPATCH) {
                Variant ptr;
                IDispatch* dispatch = args[0].GetDispatch();
                if (dispatch == nullptr || FAILED(qel::platform::CallMethod(dispatch, "GetPtr", {}, &ptr)) ||
                    !ptr.ToLong(&parent))
                    parent = 0;  // not a database object: CreatePriv answers 50
            } else if (!args[0].ToLong(&parent)) {
                return DISP_E_TYPEMISMATCH;
            }
            return answer(CreatePriv(parent));
        }
        case kAddNew:
            if (!method) return DISP_E_MEMBERNOTFOUND;
            if (!args.empty()) return DISP_E_BADPARAMCOUNT;
            return answer(AddNew());
        case kUpdate:
            if (!method) return DISP_E_MEMBERNOTFOUND;
            if (!args.empty()) return DISP_E_BADPARAMCOUNT;
            return answer(Update());
        case kName:
            if (get && args.empty()) {
                if (result != nullptr) *result = Variant(m_strName);
                return S_OK;
            }
            if (put && args.size() == 1) {
                Clear();
                return args[0].ToString(&m_strName) ? S_OK : DISP_E_TYPEMISMATCH;
            }
            return DISP_E_MEMBERNOTFOUND;
        case kWarning:
            return longProperty(m_lWarningThreshold);
        case kError:
            return longProperty(m_lErrorThreshold);
        case kErrorCode:
            if (!get) return DISP_E_MEMBERNOTFOUND;
            if (result != nullptr) *result = Variant(m_lErrorCode);
            return S_OK;
        case kErrorText:
            if (!get) return DISP_E_MEMBERNOTFOUND;
            if (result != nullptr) *result = Variant(m_strError);
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

BOOL CImageMediaTypeObject::CreatePriv(LONG lParent) {
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
    if (!db->CheckMediaTypeSet(nullptr)) return Fail(10);

    bool taken = false;
    db->m_pMediaTypeSet->ForEach([&](LONG, CQELObjectData* p) {
        const auto* type = dynamic_cast<const CMediaTypeData*>(p);
        if (type != nullptr && type->m_strName == m_strName) taken = true;
    });
    if (taken) return Fail(8000);

    LONG key = 0;
    if (!db->GetNewKey(eTableIMT, &key)) return Fail(10);
    try {
        CMediaTypeRecordset rs(db);
        if (!rs.Open("IMTKEY=-1", nullptr, nullptr, 0)) return Fail(10);
        rs.AddNew();
        rs.m_IMTKEY = key;
        rs.SetFieldDirty(&rs.m_IMTKEY);
        rs.m_IMTNAME = m_strName;
        rs.SetFieldDirty(&rs.m_IMTNAME);
        rs.m_IMTWARNING = m_lWarningThreshold;
        rs.SetFieldDirty(&rs.m_IMTWARNING);
        rs.m_IMTERROR = m_lErrorThreshold;
        rs.SetFieldDirty(&rs.m_IMTERROR);
        if (!rs.Update(0)) return Fail(10);

        auto data = std::make_unique<CMediaTypeData>();
        data->m_lKey = key;
        data->m_strName = m_strName;
        data->m_lWarningThreshold = m_lWarningThreshold;
        data->m_lErrorThreshold = m_lErrorThreshold;
        data->m_bLoaded = TRUE;
        if (!db->m_pMediaTypeSet->Add(key, data.get())) return Fail(10);
        data.release();  // the set owns it now
    } catch (...) {
        return Fail(10);
    }
    m_bNew = false;
    return TRUE;
}

IDispatch* CreateImageMediaTypeObject() { return new (std::nothrow) CImageMediaTypeObject(); }
