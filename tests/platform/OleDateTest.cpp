#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <ctime>
#include <limits>

#include <qel/platform/OleDate.h>

using namespace qel::platform;

namespace {

DATE Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    DATE value = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(DateFromParts(y, mo, d, h, mi, s, &value)) << y << '-' << mo << '-' << d;
    return value;
}

}  // namespace

TEST(OleDateTest, KnownValues) {
    EXPECT_DOUBLE_EQ(Make(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(Make(1899, 12, 31), 1.0);
    EXPECT_DOUBLE_EQ(Make(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(Make(1900, 3, 1), 61.0);  // 1900 is not a leap year
    EXPECT_DOUBLE_EQ(Make(2000, 1, 1), 36526.0);
    EXPECT_DOUBLE_EQ(Make(2000, 1, 1, 12), 36526.5);
    EXPECT_DOUBLE_EQ(Make(1899, 12, 29), -1.0);
    EXPECT_DOUBLE_EQ(Make(1899, 12, 29, 6), -1.25);
    EXPECT_DOUBLE_EQ(Make(100, 1, 1), kMinDate);
    EXPECT_NEAR(Make(9999, 12, 31, 23, 59, 59), kMaxDate, 1e-9);
}

TEST(OleDateTest, PartsRoundTripAcrossTheRange) {
    DateParts parts;
    ASSERT_TRUE(PartsFromDate(-1.25, &parts));
    EXPECT_EQ(parts.year, 1899);
    EXPECT_EQ(parts.month, 12);
    EXPECT_EQ(parts.day, 29);
    EXPECT_EQ(parts.hour, 6);
    // -0.5 and 0.5 are both noon of 30 December 1899 (fraction's sign apart).
    ASSERT_TRUE(PartsFromDate(-0.5, &parts));
    EXPECT_EQ(parts.day, 30);
    EXPECT_EQ(parts.hour, 12);
    ASSERT_TRUE(PartsFromDate(36526.0, &parts));
    EXPECT_EQ(parts.dayOfWeek, 7);  // 1 January 2000 was a Saturday
    EXPECT_EQ(parts.dayOfYear, 1);
    ASSERT_TRUE(PartsFromDate(Make(2024, 12, 31), &parts));
    EXPECT_EQ(parts.dayOfYear, 366);
    // Just short of midnight rounds up to the next day.
    ASSERT_TRUE(PartsFromDate(2.0 - 0.1 / 86400.0, &parts));
    EXPECT_EQ(parts.year, 1900);
    EXPECT_EQ(parts.day, 1);
    EXPECT_EQ(parts.hour, 0);

    for (int year : {100, 1582, 1600, 1899, 1900, 1970, 2000, 2024, 9999}) {
        for (int month : {1, 2, 12}) {
            const int day = month == 2 ? 28 : 31;
            const DATE value = Make(year, month, day, 13, 14, 15);
            ASSERT_TRUE(PartsFromDate(value, &parts));
            EXPECT_EQ(parts.year, year);
            EXPECT_EQ(parts.month, month);
            EXPECT_EQ(parts.day, day);
            EXPECT_EQ(parts.hour, 13);
            EXPECT_EQ(parts.minute, 14);
            EXPECT_EQ(parts.second, 15);
        }
    }
}

TEST(OleDateTest, BadInputIsRefused) {
    DATE value = 42.0;
    const std::array<int, 6> bad[] = {{99, 12, 31, 0, 0, 0},  {10000, 1, 1, 0, 0, 0}, {2023, 2, 29, 0, 0, 0},
                                      {2024, 13, 1, 0, 0, 0}, {2024, 4, 31, 0, 0, 0}, {2024, 1, 1, 24, 0, 0},
                                      {2024, 1, 1, 0, 60, 0}, {2024, 1, 1, 0, 0, -1}};
    for (const auto& p : bad) EXPECT_FALSE(DateFromParts(p[0], p[1], p[2], p[3], p[4], p[5], &value)) << p[0] << '-' << p[1];
    EXPECT_FALSE(DateFromParts(2024, 1, 1, 0, 0, 0, nullptr));
    EXPECT_EQ(value, 42.0);
    EXPECT_TRUE(DateFromParts(2024, 2, 29, 0, 0, 0, &value));

    DateParts parts;
    parts.year = 7;
    for (double date : {std::numeric_limits<double>::quiet_NaN(), kMinDate - 1.0, kMaxDate + 1.0,
                        std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(PartsFromDate(date, &parts)) << date;
    EXPECT_FALSE(PartsFromDate(1.0, nullptr));
    EXPECT_EQ(parts.year, 7);
}

TEST(OleDateTest, TodayIsLocalMidnight) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ASSERT_NE(localtime_r(&now, &local), nullptr);
    const DATE today = TodayLocal();
    EXPECT_EQ(today, std::floor(today));
    DateParts parts;
    ASSERT_TRUE(PartsFromDate(today, &parts));
    EXPECT_EQ(parts.year, local.tm_year + 1900);
    EXPECT_EQ(parts.month, local.tm_mon + 1);
    EXPECT_EQ(parts.day, local.tm_mday);
    const DATE current = NowLocal();
    EXPECT_GE(current, today);
    EXPECT_LT(current, today + 1.0 + 1.0 / 86400.0);  // tolerates midnight passing
}
