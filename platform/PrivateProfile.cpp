#include <qel/platform/PrivateProfile.h>

#include <qel/platform/AsciiText.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

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

constexpr std::string_view kBlanks = " \t\r\n\v\f";

// One pair of enclosing double or single quotes comes off, as the Windows
// function takes them off.
std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

// The key's value the way the Windows function finds it: in the first
// section of that name only, the first line of that key. Lines are trimmed;
// ";" and "#" start comments, a line without "=" is no key.
std::optional<std::string> Lookup(LPCSTR section, LPCSTR key, LPCSTR file) try {
    if (section == nullptr || key == nullptr || file == nullptr || *file == '\0') return std::nullopt;
    struct stat st {};
    if (::stat(file, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxProfileFileSize)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string_view rest(text);
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);  // UTF-8 byte order mark

    bool inSection = false;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = Trim(rest.substr(0, end), kBlanks);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (inSection) return std::nullopt;  // a later section of the same name is not read
            const std::size_t close = line.find(']');
            const std::string_view name = line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
            inSection = EqualsNoCase(Trim(name, kBlanks), section);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        if (EqualsNoCase(Trim(line.substr(0, equals), kBlanks), key))
            return std::string(Unquoted(Trim(line.substr(equals + 1), kBlanks)));
    }
    return std::nullopt;
} catch (...) {
    return std::nullopt;  // out of memory: read as missing, never thrown to the caller
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
    const std::optional<std::string> value = Lookup(section, key, file);
    return value ? ParseInt(value->c_str()) : nDefault;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, char* buffer, DWORD size,
                               LPCSTR file) {
    if (buffer == nullptr || size == 0) return 0;
    const std::optional<std::string> found = Lookup(section, key, file);
    const char* value = found ? found->c_str() : (defaultText != nullptr ? defaultText : "");
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
