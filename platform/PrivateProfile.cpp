#include <qel/platform/PrivateProfile.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

// Byte-transparent: profile text is passed through as it is.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace qel::platform {

namespace {

// Reads the file into `ini`; a missing file is an empty profile. False when
// the file exists but cannot be read, or is too large to be a profile.
bool Load(CSimpleIniA& ini, LPCSTR file, bool* exists = nullptr) {
    if (exists != nullptr) *exists = false;
    if (file == nullptr || *file == '\0') return false;
    struct stat st {};
    if (::stat(file, &st) != 0) return true;
    if (exists != nullptr) *exists = true;
    if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxProfileFileSize) return false;
    try {
        return ini.LoadFile(file) >= 0;
    } catch (...) {
        return false;
    }
}

const char* Lookup(LPCSTR section, LPCSTR key, LPCSTR file) {
    thread_local CSimpleIniA ini;
    ini.Reset();
    if (section == nullptr || key == nullptr || !Load(ini, file)) return nullptr;
    return ini.GetValue(section, key, nullptr);
}

int ParseInt(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    // Accumulates modulo 2^32, as a 32-bit reader does.
    std::uint32_t value = 0;
    for (;; ++text) {
        const unsigned char c = static_cast<unsigned char>(*text);
        unsigned digit = 0;
        if (std::isdigit(c) != 0)
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c) != 0)
            digit = static_cast<unsigned>(std::tolower(c) - 'a' + 10);
        else
            break;
        value = value * static_cast<std::uint32_t>(base) + digit;
    }
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

}  // namespace

int GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int nDefault, LPCSTR file) {
    const char* value = Lookup(section, key, file);
    return value == nullptr ? nDefault : ParseInt(value);
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, char* buffer, DWORD size,
                               LPCSTR file) {
    if (buffer == nullptr || size == 0) return 0;
    const char* value = Lookup(section, key, file);
    if (value == nullptr) value = defaultText != nullptr ? defaultText : "";
    std::size_t length = std::strlen(value);
    if (length > size - 1) {
        length = size - 1;
        // Back off to the start of a UTF-8 character.
        while (length > 0 && (static_cast<unsigned char>(value[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(buffer, value, length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    if (section == nullptr && key == nullptr && value == nullptr) return TRUE;  // flush: nothing is cached
    if (section == nullptr || file == nullptr) return FALSE;
    try {
        CSimpleIniA ini;
        if (!Load(ini, file)) return FALSE;
        if (key == nullptr)
            ini.Delete(section, nullptr, true);
        else if (value == nullptr)
            ini.Delete(section, key, true);
        else if (ini.SetValue(section, key, value) < 0)
            return FALSE;
        return ini.SaveFile(file, false) >= 0 ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace qel::platform
