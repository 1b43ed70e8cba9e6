#include <qel/outside/ExtOleDateTime.h>

#include <cstdio>

#include <qel/platform/Locale.h>

namespace platform = qel::platform;

CExtOleDateTime::CExtOleDateTime(DATE value) { *this = value; }

CExtOleDateTime::CExtOleDateTime(int year, int month, int day, int hour, int minute, int second) {
    SetDateTime(year, month, day, hour, minute, second);
}

CExtOleDateTime& CExtOleDateTime::operator=(DATE value) {
    m_dt = value;
    platform::DateParts parts;
    m_status = platform::PartsFromDate(value, &parts) ? valid : invalid;
    return *this;
}

bool CExtOleDateTime::SetDate(int year, int month, int day) { return SetDateTime(year, month, day, 0, 0, 0); }

bool CExtOleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
    DATE value = 0.0;
    if (!platform::DateFromParts(year, month, day, hour, minute, second, &value)) {
        m_dt = 0.0;
        m_status = invalid;
        return false;
    }
    m_dt = value;
    m_status = valid;
    return true;
}

bool CExtOleDateTime::Parts(platform::DateParts& parts) const {
    return m_status == valid && platform::PartsFromDate(m_dt, &parts);
}

int CExtOleDateTime::GetYear() const {
    platform::DateParts parts;
    return Parts(parts) ? parts.year : -1;
}

int CExtOleDateTime::GetMonth() const {
    platform::DateParts parts;
    return Parts(parts) ? parts.month : -1;
}

int CExtOleDateTime::GetDay() const {
    platform::DateParts parts;
    return Parts(parts) ? parts.day : -1;
}

int CExtOleDateTime::GetHour() const {
    platform::DateParts parts;
    return Parts(parts) ? parts.hour : -1;
}

int CExtOleDateTime::GetDayOfWeek() const {
    platform::DateParts parts;
    return Parts(parts) ? parts.dayOfWeek : -1;
}

CExtOleDateTime CExtOleDateTime::GetCurrentTime() { return CExtOleDateTime(platform::NowLocal()); }

CExtOleDateTime CExtOleDateTime::Today() { return CExtOleDateTime(platform::TodayLocal()); }

bool CExtOleDateTime::operator==(const CExtOleDateTime& other) const {
    if (m_status != other.m_status) return false;
    return m_status != valid || m_dt == other.m_dt;
}

std::string CExtOleDateTime::FormatDate() const { return FormatDate(platform::GetThreadLocale()); }

std::string CExtOleDateTime::FormatDate(LCID lcid) const {
    platform::DateParts parts;
    if (!Parts(parts)) return {};
    const std::string pattern = platform::ShortDatePattern(lcid);
    std::string out;
    char number[8];
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            out.push_back(pattern[i]);
            continue;
        }
        switch (pattern[++i]) {
            case 'd': std::snprintf(number, sizeof number, "%02d", parts.day); break;
            case 'm': std::snprintf(number, sizeof number, "%02d", parts.month); break;
            case 'Y': std::snprintf(number, sizeof number, "%04d", parts.year); break;
            case 'y': std::snprintf(number, sizeof number, "%02d", parts.year % 100); break;
            default: std::snprintf(number, sizeof number, "%c", pattern[i]); break;
        }
        out += number;
    }
    return out;
}
