// Construction, destruction, the simple properties and the error convention
// of the database object. The members of the other subsystems live in the
// files beside this one.
#include <qel/database/DatabaseObj.h>

#include <mutex>
#include <unordered_map>

#include <qel/BuildInfo.h>
#include <qel/database/CallbackWindow.h>
#include <qel/database/ErrorCodes.h>
#include <qel/database/Resources.h>
#include <qel/datasource/DataSourceSetup.h>
#include <qel/outside/ExtString.h>
#include <qel/outside/Log.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/records/LayoutData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/platform/AppProfile.h>
#include <qel/platform/NamedMutex.h>
#include <qel/platform/UserInterface.h>
#include <qel/schema/DatabaseSchema.h>

LONG CDatabaseObj::m_lNextNewKey = 1000;

namespace {

// GetPtr values: process-wide, never reused while the process lives.
class PtrRegistry {
public:
    LONG Register(CDatabaseObj* obj) {
        std::lock_guard lock(m_mutex);
        LONG ptr = m_next++;
        m_objects[ptr] = obj;
        return ptr;
    }
    void Unregister(LONG ptr) {
        std::lock_guard lock(m_mutex);
        m_objects.erase(ptr);
    }
    CDatabaseObj* Find(LONG ptr) {
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(ptr);
        return it == m_objects.end() ? nullptr : it->second;
    }

private:
    std::mutex m_mutex;
    LONG m_next = 0x10000;
    std::unordered_map<LONG, CDatabaseObj*> m_objects;
};

PtrRegistry& Ptrs() {
    static PtrRegistry registry;
    return registry;
}

}  // namespace

CDatabaseObj::CDatabaseObj() {
    AfxOleLockApp();
    m_pDataSourceSetup = std::make_unique<CDataSourceSetup>(this);
    m_pSchema = std::make_unique<CDatabaseSchema>(this);
    m_lPtr = Ptrs().Register(this);

    LONG kanaChar = qel::platform::AppProfile::Current().GetProfileInt("General", "KanaChar", -1);
    m_nKanaChar = (kanaChar < 0 || kanaChar > 2) ? 2 : kanaChar;
}

CDatabaseObj::~CDatabaseObj() {
    DeleteObjectSets();
    if (bIsOpen) Close();  // the closing notice goes out before the connection
    m_pDatabase.reset();
    Ptrs().Unregister(m_lPtr);
    m_pDataSourceSetup.reset();
    m_pSchema.reset();
    AfxOleUnlockApp();
}

ULONG CDatabaseObj::ExternalAddRef() { return ++m_dwRef; }

ULONG CDatabaseObj::ExternalRelease() {
    if (m_dwRef == 0) return 0;
    ULONG left = --m_dwRef;
    if (left == 0) OnFinalRelease();
    return left;
}

void CDatabaseObj::OnFinalRelease() { delete this; }

CDatabaseObj* CDatabaseObj::FromPtr(LONG ptr) { return Ptrs().Find(ptr); }

// --- Error convention -----------------------------------------------------

void CDatabaseObj::ClearError() {
    qel::database::ClearErrorState(&lErrorCode, &strError);
    qel::outside::ForgetFailureCause();
}

BOOL CDatabaseObj::SetError(LONG code, const char* module, int line) {
    return qel::database::SetErrorState(code, &lErrorCode, &strError, module, line);
}

BOOL CDatabaseObj::PassOnError(const char* module, int line) {
    if (lErrorCode != 0) WriteLogCheck(module, line, QEL_BUILD_TIME);
    return FALSE;
}

void CDatabaseObj::CreateErrorString(CDBException* /*pException*/, std::string* /*pString*/) {}

void CDatabaseObj::SetErrorString(CDBException* pException) { CreateErrorString(pException, &strError); }

void CDatabaseObj::ShowReadOnlyNotice() {
    qel::platform::UserInterface().MessageBox(qel::ui::LoadString(qel::ui::IDS_READ_ONLY_PROPERTY), "Quorva", MB_OK);
}

BSTR CDatabaseObj::MakeBstr(const std::string& text) { return qel::platform::BstrFromUtf8(text); }

BSTR CDatabaseObj::GetProfileString(const std::string& value, LONG validBit) {
    ClearError();
    if ((m_lValidMask & validBit) == 0) {
        SetError(50);
        return MakeBstr({});
    }
    return MakeBstr(value);
}

// --- Simple properties ----------------------------------------------------

LONG CDatabaseObj::GetLKey() {
    ClearError();
    return lKey;
}
void CDatabaseObj::SetLKey(LONG) { ShowReadOnlyNotice(); }

BOOL CDatabaseObj::GetBDefaultEngine() { return TRUE; }
void CDatabaseObj::SetBDefaultEngine(BOOL) { ShowReadOnlyNotice(); }

LONG CDatabaseObj::GetLEngine() { return lEngine; }
void CDatabaseObj::SetLEngine(LONG) { ShowReadOnlyNotice(); }

BOOL CDatabaseObj::GetBMultiUser() { return FALSE; }
void CDatabaseObj::SetBMultiUser(BOOL) { ShowReadOnlyNotice(); }

BSTR CDatabaseObj::GetStrName() { return GetProfileString(strName, VALID_NAME); }
void CDatabaseObj::SetStrName(LPCSTR) { ShowReadOnlyNotice(); }

LONG CDatabaseObj::GetLNumber() { return 0; }
void CDatabaseObj::SetLNumber(LONG) {}

BSTR CDatabaseObj::GetStrServerOS() { return MakeBstr({}); }
void CDatabaseObj::SetStrServerOS(LPCSTR) {}

BSTR CDatabaseObj::GetStrProtocol() { return MakeBstr({}); }
void CDatabaseObj::SetStrProtocol(LPCSTR) {}

BSTR CDatabaseObj::GetStrHostAddress() { return MakeBstr({}); }
void CDatabaseObj::SetStrHostAddress(LPCSTR) {}

BSTR CDatabaseObj::GetStrDataSource() { return GetProfileString(strDataSource, VALID_DATASOURCE); }

void CDatabaseObj::SetStrDataSource(LPCSTR value) {
    CExtString text(value ? value : "");
    text.Trim();
    strDataSource = text.Str();
    m_lValidMask |= VALID_DATASOURCE;
}

BSTR CDatabaseObj::GetStrDirectory() { return GetProfileString(strDirectory, VALID_DIRECTORY); }

void CDatabaseObj::SetStrDirectory(LPCSTR value) {
    ClearError();
    CExtString text(value ? value : "");
    text.Trim();
    strDirectory = text.Str();
    m_lValidMask |= VALID_DIRECTORY;
}

BSTR CDatabaseObj::GetStrLoginID() { return MakeBstr({}); }
void CDatabaseObj::SetStrLoginID(LPCSTR) {}

BOOL CDatabaseObj::GetBServerObjectInUse() { return TRUE; }
void CDatabaseObj::SetBServerObjectInUse(BOOL) {}

BSTR CDatabaseObj::GetStrAppServer() { return MakeBstr({}); }
void CDatabaseObj::SetStrAppServer(LPCSTR) {}

LONG CDatabaseObj::GetLCurrentDoctor() { return lCurrentDoctor; }

BOOL CDatabaseObj::GetBIsNew() {
    ClearError();
    return bIsNew;
}
void CDatabaseObj::SetBIsNew(BOOL) { ShowReadOnlyNotice(); }

BOOL CDatabaseObj::GetBIsOpen() {
    ClearError();
    return bIsOpen;
}
void CDatabaseObj::SetBIsOpen(BOOL) { ShowReadOnlyNotice(); }

LONG CDatabaseObj::GetLErrorCode() { return lErrorCode; }
void CDatabaseObj::SetLErrorCode(LONG) { ShowReadOnlyNotice(); }

BSTR CDatabaseObj::GetStrError() { return MakeBstr(strError); }
void CDatabaseObj::SetStrError(LPCSTR) { ShowReadOnlyNotice(); }

// --- Workstation and patient locks ----------------------------------------

BOOL CDatabaseObj::TouchUserTable() { return TRUE; }

BOOL CDatabaseObj::LockPatient(LONG) {
    ClearError();
    return TRUE;
}

BOOL CDatabaseObj::UnlockPatient(LONG) {
    ClearError();
    return TRUE;
}

BOOL CDatabaseObj::GetPatientLocker(LONG, std::string*) { return SetError(20); }
