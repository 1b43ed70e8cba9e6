// Database profiles: loading a stored profile from the registry, defining a
// temporary one, checking that the values needed for opening are known, and
// remembering the current doctor.
#include <qel/database/DatabaseObj.h>

#include <fmt/format.h>

#include <qel/datasource/EngineDrivers.h>
#include <qel/platform/AppProfile.h>

namespace {

constexpr LONG kAbsentInt = -1;
constexpr const char* kAbsentString = "<@>";
constexpr const char* kProfilePrefix = "DatabaseJ";
constexpr const char* kProfileList = "DatabaseListJ";

std::string ProfileSection(LONG profile) { return fmt::format("{}{}", kProfilePrefix, profile); }

qel::platform::AppProfile& Profile() { return qel::platform::AppProfile::Current(); }

// Registry reads mark an absent value with -1 or "<@>", so a stored -1 or
// "<@>" counts as absent too.
bool ReadInt(const std::string& section, const char* entry, LONG* value) {
    *value = Profile().GetProfileInt(section, entry, kAbsentInt);
    return *value != kAbsentInt;
}

bool ReadString(const std::string& section, const char* entry, std::string* value) {
    *value = Profile().GetProfileString(section, entry, kAbsentString);
    return *value != kAbsentString;
}

// The engine a stored profile asks for: the file engine unless its "Engine"
// value names the client/server engine. Any other stored code is refused
// (false) rather than read as the file engine: a profile written for an
// engine this build does not know must not end up creating a database file
// at its path.
bool ReadEngine(const std::string& section, LONG* engine) {
    LONG stored = 0;
    if (!ReadInt(section, "Engine", &stored)) stored = qel::datasource::kEngineFile;
    if (stored != qel::datasource::kEngineFile && stored != qel::datasource::kEngineClientServer) return false;
    *engine = stored;
    return true;
}

}  // namespace

void CDatabaseObj::SetEngine() { lEngine = 2; }

BOOL CDatabaseObj::AddNew(BOOL bFirst, BOOL bSecond) {
    ClearError();
    if (bIsOpen) return SetError(50);
    if (!bFirst && !bSecond) return SetError(20);

    m_lValidMask = VALID_MULTIUSER | VALID_DEFAULT;
    m_strID.clear();
    lKey = m_lNextNewKey++;
    SetEngine();
    lCurrentDoctor = 0;
    bIsNew = TRUE;
    return TRUE;
}

BOOL CDatabaseObj::Get(LONG lProfile) {
    ClearError();
    if (bIsOpen) return SetError(50);

    m_lValidMask = 0;
    const std::string section = ProfileSection(lProfile);

    LONG multiUser = 0;
    if (!ReadInt(section, "MultiUser", &multiUser)) return SetError(7010);
    m_lValidMask |= VALID_MULTIUSER;

    LONG defaultEngine = 0;
    if (!ReadInt(section, "Default", &defaultEngine)) return SetError(7010);
    m_lValidMask |= VALID_DEFAULT;

    std::string text;
    if (ReadString(section, "DataSource", &text)) {
        strDataSource = text;
        m_lValidMask |= VALID_DATASOURCE;
    }

    if (multiUser != 0 || defaultEngine == 0) return SetError(20);

    if (ReadString(section, "Path", &text)) {
        strDirectory = text;
        m_lValidMask |= VALID_DIRECTORY;
    }

    LONG engine = 0;
    if (!ReadEngine(section, &engine)) return SetError(20);
    SetEngine();
    lEngine = engine;
    m_lValidMask |= VALID_ENGINE;
    lKey = lProfile;
    m_strID.clear();
    lCurrentDoctor = 0;
    bIsNew = FALSE;

    if (ReadString(section, "DatabaseID", &text)) m_strID = text;
    if (ReadString(section, "Name", &text)) {
        strName = text;
        m_lValidMask |= VALID_NAME;
    }
    LONG doctor = 0;
    if (ReadInt(section, "CurrentDoctor", &doctor)) {
        lCurrentDoctor = doctor;
        m_lValidMask |= VALID_CURRENTDOCTOR;
    }

    if (!CheckParams(TRUE)) return PassOnError();
    return TRUE;
}

BOOL CDatabaseObj::Update() { return TRUE; }

BOOL CDatabaseObj::Delete() { return TRUE; }

BOOL CDatabaseObj::CheckParams(BOOL bStrict) {
    for (LONG bit : {VALID_MULTIUSER, VALID_DEFAULT, VALID_DATASOURCE, VALID_DIRECTORY})
        if ((m_lValidMask & bit) == 0) return SetError(7010);
    if (!bStrict) return TRUE;
    for (LONG bit : {VALID_NAME, VALID_CURRENTDOCTOR})
        if ((m_lValidMask & bit) == 0) return SetError(7000);
    return TRUE;
}

void CDatabaseObj::SetLCurrentDoctor(LONG lDoctorKey) {
    ClearError();
    LONG current = 0;
    if (!ReadInt(kProfileList, "Current", &current)) return;
    if (Profile().WriteProfileInt(ProfileSection(current), "CurrentDoctor", lDoctorKey)) lCurrentDoctor = lDoctorKey;
}
