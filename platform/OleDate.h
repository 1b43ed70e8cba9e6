// Automation dates: a DATE is the number of days since 30 December 1899,
// the fraction being the time of day. Before that day the integer part
// counts backwards while the fraction still runs forward from midnight:
// -1.25 is 29 December 1899, 06:00 (the fraction's sign is taken apart).
// Dates run from 1 January 100 to 31 December 9999.
//
// Used by the general library's date class and wherever dates cross the
// automation boundary.
#pragma once

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32
using DATE = double;
#endif

namespace qel::platform {

struct DateParts {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
    int dayOfWeek = 0;  // 1 = Sunday .. 7 = Saturday
    int dayOfYear = 0;  // 1..366
};

constexpr DATE kMinDate = -657434.0;            // 1 January 100
constexpr DATE kMaxDate = 2958465.99998842594;  // 31 December 9999, 23:59:59

// False (result untouched) when a part is out of range: year 100..9999,
// month 1..12, day within the month, hour 0..23, minute and second 0..59.
QEL_API bool DateFromParts(int year, int month, int day, int hour, int minute, int second, DATE* result);
// False (parts untouched) for NaN or a value outside kMinDate..kMaxDate.
// The time is rounded to the nearest second.
QEL_API bool PartsFromDate(DATE date, DateParts* parts);

// The local clock now, and today's local date with time zero.
QEL_API DATE NowLocal();
QEL_API DATE TodayLocal();

}  // namespace qel::platform
