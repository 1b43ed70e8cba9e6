#include <gtest/gtest.h>

#include <limits>

#include <qel/outside/ExtOleDateTime.h>
#include <qel/platform/Locale.h>

using qel::platform::SetThreadLocale;

TEST(ExtOleDateTimeTest, ConstructionAndStatus) {
    // The day arithmetic itself is OleDateTest's; here the status it yields.
    EXPECT_EQ(CExtOleDateTime().GetStatus(), CExtOleDateTime::valid);
    EXPECT_EQ(CExtOleDateTime(1900, 1, 1).GetDayOfWeek(), 2);  // Monday

    const CExtOleDateTime bad(2023, 2, 29);
    EXPECT_EQ(bad.GetStatus(), CExtOleDateTime::invalid);
    EXPECT_EQ(bad.GetYear(), -1);
    EXPECT_EQ(bad.GetMonth(), -1);

    CExtOleDateTime d;
    d = 36526.75;
    EXPECT_EQ(d.GetStatus(), CExtOleDateTime::valid);
    EXPECT_EQ(d.GetHour(), 18);
    d = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(d.GetStatus(), CExtOleDateTime::invalid);
    d = 3e6;  // past 9999
    EXPECT_EQ(d.GetStatus(), CExtOleDateTime::invalid);
    EXPECT_TRUE(d.SetDate(2024, 2, 29));
    EXPECT_EQ(d.GetStatus(), CExtOleDateTime::valid);
    EXPECT_FALSE(d.SetDateTime(2024, 2, 29, 25, 0, 0));
    EXPECT_EQ(d.GetStatus(), CExtOleDateTime::invalid);
    d.SetStatus(CExtOleDateTime::null);
    EXPECT_EQ(d.GetStatus(), CExtOleDateTime::null);
}

TEST(ExtOleDateTimeTest, EqualityComparesValuesOnlyWhenValid) {
    EXPECT_EQ(CExtOleDateTime(1900, 1, 1), CExtOleDateTime(2.0));
    EXPECT_NE(CExtOleDateTime(1900, 1, 1), CExtOleDateTime(1900, 1, 2));
    EXPECT_NE(CExtOleDateTime(1900, 1, 1), CExtOleDateTime(1900, 1, 1, 0, 0, 1));

    CExtOleDateTime a(2024, 5, 1);
    CExtOleDateTime b(1990, 1, 1);
    a.SetStatus(CExtOleDateTime::invalid);
    b.SetStatus(CExtOleDateTime::invalid);
    EXPECT_EQ(a, b);  // both invalid: values do not matter
    b.SetStatus(CExtOleDateTime::null);
    EXPECT_NE(a, b);
    a.SetStatus(CExtOleDateTime::null);
    EXPECT_EQ(a, b);
}

TEST(ExtOleDateTimeTest, FormatDateUsesTheThreadLocale) {
    const CExtOleDateTime d(2024, 3, 5, 14, 30, 0);
    ASSERT_TRUE(SetThreadLocale(qel::platform::LOCALE_ITALIAN));
    EXPECT_EQ(d.FormatDate(), "05/03/2024");
    ASSERT_TRUE(SetThreadLocale(qel::platform::LOCALE_JAPANESE));
    EXPECT_EQ(d.FormatDate(), "2024/03/05");
    ASSERT_TRUE(SetThreadLocale(qel::platform::LOCALE_ENGLISH_US));
    EXPECT_EQ(d.FormatDate(), "03/05/2024");
    EXPECT_EQ(d.FormatDate(0x0407), "05.03.2024");
    EXPECT_EQ(d.FormatDate(0x040E), "2024.03.05.");
    EXPECT_EQ(CExtOleDateTime(100, 1, 1).FormatDate(qel::platform::LOCALE_ITALIAN), "01/01/0100");
    EXPECT_EQ(CExtOleDateTime(-1.25).FormatDate(qel::platform::LOCALE_ITALIAN), "29/12/1899");

    CExtOleDateTime none(2024, 3, 5);
    none.SetStatus(CExtOleDateTime::null);
    EXPECT_EQ(none.FormatDate(), "");
    EXPECT_EQ(CExtOleDateTime(2024, 2, 30).FormatDate(), "");
}
