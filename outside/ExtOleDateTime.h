// CExtOleDateTime: the general library's automation date (days since
// 30 December 1899, see platform/OleDate.h) with a validity status, as the
// component keeps dates in memory and shows them to the user.
//
//   CExtOleDateTime created(2024, 3, 15);
//   std::string shown = created.FormatDate();  // "15/03/2024" under Italian
//   if (stored == CExtOleDateTime::Today()) ...
//
// A bad date (a day that does not exist, a value outside the years
// 100..9999, NaN) gives the status invalid; null means "no date".
#pragma once

#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/OleDate.h>
#include <qel/platform/WinTypes.h>

class QEL_API CExtOleDateTime {
public:
    enum DateTimeStatus { valid = 0, invalid = 1, null = 2 };

    // 0.0 (30 December 1899, midnight), valid.
    CExtOleDateTime() = default;
    CExtOleDateTime(DATE value);  // NOLINT: converts like an automation date
    CExtOleDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

    CExtOleDateTime& operator=(DATE value);

    // Both return false and make the status invalid for a bad date.
    bool SetDate(int year, int month, int day);
    bool SetDateTime(int year, int month, int day, int hour, int minute, int second);

    DateTimeStatus GetStatus() const { return m_status; }
    void SetStatus(DateTimeStatus status) { m_status = status; }
    DATE GetValue() const { return m_dt; }

    // -1 unless the date is valid.
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    // 1 = Sunday .. 7 = Saturday; -1 unless valid.
    int GetDayOfWeek() const;

    // The local clock now; Today() is today's local date at midnight.
    static CExtOleDateTime GetCurrentTime();
    static CExtOleDateTime Today();

    // Statuses equal and, when both are valid, values equal.
    bool operator==(const CExtOleDateTime& other) const;

    // The date in the thread locale's short form ("15/03/2024" Italian,
    // "2024/03/15" Japanese, "03/15/2024" US English); empty unless valid.
    std::string FormatDate() const;
    std::string FormatDate(LCID lcid) const;

    DATE m_dt = 0.0;
    DateTimeStatus m_status = valid;

private:
    bool Parts(qel::platform::DateParts& parts) const;
};
