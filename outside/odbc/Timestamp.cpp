#include <qel/outside/odbc/Timestamp.h>

#include <chrono>
#include <cmath>

#include <fmt/format.h>

#include <qel/outside/odbc/DBException.h>

namespace qel::odbc {

namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};
constexpr double kMinDate = -657434.0;  // 1 January 100
constexpr double kMaxDate = 2958466.0;  // 1 January 10000 (exclusive)
constexpr long long kMillisPerDay = 86'400'000;

}  // namespace

SQL_TIMESTAMP_STRUCT TimestampFromAutomationDate(double date) {
    if (!std::isfinite(date) || date <= kMinDate - 1.0 || date >= kMaxDate) {
        throw CDBException("22008", fmt::format("automation date {} is outside the years 100 to 9999", date),
                           "TimestampFromAutomationDate");
    }
    double wholeDays = std::trunc(date);
    auto millis = std::llround(std::fabs(date - wholeDays) * static_cast<double>(kMillisPerDay));
    auto dayNumber = static_cast<long long>(wholeDays);
    if (millis >= kMillisPerDay) {
        // Rounding reached the next midnight (in the direction time runs).
        millis -= kMillisPerDay;
        dayNumber += 1;
    }
    year_month_day ymd{kEpoch + days{dayNumber}};
    hh_mm_ss<milliseconds> time{milliseconds{millis}};
    if (static_cast<int>(ymd.year()) < 100 || static_cast<int>(ymd.year()) > 9999) {
        throw CDBException("22008", fmt::format("automation date {} is outside the years 100 to 9999", date),
                           "TimestampFromAutomationDate");
    }
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(static_cast<int>(ymd.year()));
    ts.month = static_cast<SQLUSMALLINT>(static_cast<unsigned>(ymd.month()));
    ts.day = static_cast<SQLUSMALLINT>(static_cast<unsigned>(ymd.day()));
    ts.hour = static_cast<SQLUSMALLINT>(time.hours().count());
    ts.minute = static_cast<SQLUSMALLINT>(time.minutes().count());
    ts.second = static_cast<SQLUSMALLINT>(time.seconds().count());
    ts.fraction = static_cast<SQLUINTEGER>(time.subseconds().count() * 1'000'000);
    return ts;
}

double AutomationDateFromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
    year_month_day ymd{year{ts.year}, month{ts.month}, day{ts.day}};
    if (!ymd.ok() || ts.hour > 23 || ts.minute > 59 || ts.second > 59 || ts.fraction >= 1'000'000'000u) {
        throw CDBException("22007",
                           fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02} is not a valid timestamp", ts.year,
                                       ts.month, ts.day, ts.hour, ts.minute, ts.second),
                           "AutomationDateFromTimestamp");
    }
    auto dayNumber = static_cast<double>((sys_days{ymd} - kEpoch).count());
    double millis = static_cast<double>(((ts.hour * 60 + ts.minute) * 60 + ts.second) * 1000) +
                    std::round(static_cast<double>(ts.fraction) / 1e6);
    double fraction = millis / static_cast<double>(kMillisPerDay);
    // Before the epoch the fraction still counts forward within the day.
    return dayNumber < 0 ? dayNumber - fraction : dayNumber + fraction;
}

}  // namespace qel::odbc
