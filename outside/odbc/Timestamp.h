// Conversions between automation dates (days since 30 December 1899 as a
// double, the time of day as the fraction) and ODBC timestamps.
//
// As in automation, the fraction of a negative date counts forward from the
// start of its day: -1.25 is 29 December 1899, 06:00. Times are kept to the
// millisecond.
#pragma once

#include <qel/outside/odbc/Odbc.h>
#include <qel/platform/Export.h>

namespace qel::odbc {

// Throws CDBException (22008) for NaN, infinity or a date outside the years
// 100 to 9999.
QEL_API SQL_TIMESTAMP_STRUCT TimestampFromAutomationDate(double date);
// Throws CDBException (22007) for a timestamp that is not a valid date and time.
QEL_API double AutomationDateFromTimestamp(const SQL_TIMESTAMP_STRUCT& timestamp);

}  // namespace qel::odbc
