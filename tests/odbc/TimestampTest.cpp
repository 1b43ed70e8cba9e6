// Automation dates to ODBC timestamps and back, including the days before
// the epoch, rounding to the millisecond and values out of range.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Timestamp.h>

#include "OdbcTestSupport.h"

using qel::odbc::AutomationDateFromTimestamp;
using qel::odbc::TimestampFromAutomationDate;

namespace {

std::string Text(const SQL_TIMESTAMP_STRUCT& ts) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%04d-%02u-%02u %02u:%02u:%02u.%03u", ts.year, ts.month, ts.day, ts.hour,
                  ts.minute, ts.second, ts.fraction / 1'000'000u);
    return buffer;
}

TEST(Timestamp, KnownDates) {
    EXPECT_EQ(Text(TimestampFromAutomationDate(0.0)), "1899-12-30 00:00:00.000");
    EXPECT_EQ(Text(TimestampFromAutomationDate(2.5)), "1900-01-01 12:00:00.000");
    EXPECT_EQ(Text(TimestampFromAutomationDate(45000.75)), "2023-03-15 18:00:00.000");
    EXPECT_EQ(Text(TimestampFromAutomationDate(-1.25)), "1899-12-29 06:00:00.000");
    EXPECT_EQ(Text(TimestampFromAutomationDate(60.0)), "1900-02-28 00:00:00.000");
    EXPECT_EQ(Text(TimestampFromAutomationDate(2958465.0)), "9999-12-31 00:00:00.000");
    // Rounding to the millisecond can reach the next midnight.
    EXPECT_EQ(Text(TimestampFromAutomationDate(1.9999999999)), "1900-01-01 00:00:00.000");
    EXPECT_EQ(Text(TimestampFromAutomationDate(45000.0 + 1234.567 / 86400.0)), "2023-03-15 00:20:34.567");
}

TEST(Timestamp, RoundTripsToTheMillisecond) {
    for (double date : {0.0, 1.5, -1.25, -700.0 - 0.125, 36526.000011574, 45000.999988426, 2958465.5}) {
        SCOPED_TRACE(date);
        double back = AutomationDateFromTimestamp(TimestampFromAutomationDate(date));
        EXPECT_NEAR(back, date, 0.0005 / 86400.0);
    }
    SQL_TIMESTAMP_STRUCT leap{2024, 2, 29, 23, 59, 59, 999'000'000};
    EXPECT_EQ(Text(TimestampFromAutomationDate(AutomationDateFromTimestamp(leap))), "2024-02-29 23:59:59.999");
}

TEST(Timestamp, RefusesWhatIsNoDate) {
    for (double date : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 2958466.0,
                        -657435.0})
        EXPECT_EQ(qel::test::StateOf([&] { TimestampFromAutomationDate(date); }), "22008") << date;
    for (SQL_TIMESTAMP_STRUCT ts : {SQL_TIMESTAMP_STRUCT{2023, 2, 30, 0, 0, 0, 0}, SQL_TIMESTAMP_STRUCT{2023, 1, 1, 24, 0, 0, 0},
                                    SQL_TIMESTAMP_STRUCT{2023, 13, 1, 0, 0, 0, 0}})
        EXPECT_EQ(qel::test::StateOf([&] { AutomationDateFromTimestamp(ts); }), "22007") << Text(ts);
}

}  // namespace
