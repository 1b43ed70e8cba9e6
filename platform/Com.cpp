#include <qel/platform/Com.h>

#include <cctype>
#include <cstdio>

namespace {

std::atomic<LONG> g_lockCount{0};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void AfxOleLockApp() { g_lockCount.fetch_add(1); }

void AfxOleUnlockApp() { g_lockCount.fetch_sub(1); }

LONG AfxOleLockCount() { return g_lockCount.load(); }

namespace qel::platform {

std::string GuidToString(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool GuidFromString(const std::string& text, GUID* guid) {
    std::string s = text;
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
    std::uint8_t bytes[16];
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '-') continue;
        int hi = HexValue(s[i]);
        int lo = i + 1 < s.size() ? HexValue(s[i + 1]) : -1;
        if (hi < 0 || lo < 0 || n >= 16) return false;
        bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        ++i;
    }
    if (n != 16) return false;
    guid->Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
    guid->Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid->Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) guid->Data4[i] = bytes[8 + i];
    return true;
}

}  // namespace qel::platform
