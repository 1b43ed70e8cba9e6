#include <qel/platform/OleDate.h>

#include <cmath>
#include <cstdint>
#include <ctime>

namespace qel::platform {

namespace {

// Days since 30 December 1899 of a proleptic Gregorian date.
std::int64_t SerialFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    constexpr std::int64_t kUnixEpochSerial = 25569;  // 1 January 1970
    return era * 146097 + dayOfEra - 719468 + kUnixEpochSerial;
}

void CivilFromSerial(std::int64_t serial, int& year, int& month, int& day) {
    const std::int64_t z = serial - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool LocalNow(std::tm& local) {
    const std::time_t now = std::time(nullptr);
    return localtime_r(&now, &local) != nullptr;
}

}  // namespace

bool DateFromParts(int year, int month, int day, int hour, int minute, int second, DATE* result) {
    if (result == nullptr) return false;
    if (year < 100 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    const auto days = static_cast<double>(SerialFromCivil(year, month, day));
    const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
    *result = days >= 0 ? days + fraction : days - fraction;
    return true;
}

bool PartsFromDate(DATE date, DateParts* parts) {
    if (parts == nullptr || std::isnan(date) || date < kMinDate || date > kMaxDate) return false;
    const double whole = std::trunc(date);
    auto days = static_cast<std::int64_t>(whole);
    auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * 86400.0));
    if (seconds >= 86400) {  // rounded up to the next midnight
        seconds -= 86400;
        days += 1;
    }
    DateParts out;
    CivilFromSerial(days, out.year, out.month, out.day);
    out.hour = static_cast<int>(seconds / 3600);
    out.minute = static_cast<int>(seconds / 60 % 60);
    out.second = static_cast<int>(seconds % 60);
    const auto weekday = static_cast<int>(((days % 7) + 7) % 7);  // day 0 was a Saturday
    out.dayOfWeek = weekday == 0 ? 7 : weekday;
    out.dayOfYear = static_cast<int>(days - SerialFromCivil(out.year, 1, 1) + 1);
    *parts = out;
    return true;
}

DATE NowLocal() {
    std::tm local{};
    DATE now = 0.0;
    if (!LocalNow(local)) return now;
    DateFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec > 59 ? 59 : local.tm_sec, &now);
    return now;
}

DATE TodayLocal() {
    std::tm local{};
    DATE today = 0.0;
    if (!LocalNow(local)) return today;
    DateFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, 0, 0, 0, &today);
    return today;
}

}  // namespace qel::platform
