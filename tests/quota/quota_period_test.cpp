// The spans quotas run over, on dates given by the test.

#include "quota/quota_period.h"

#include <gtest/gtest.h>

namespace {

LocalDate date(int year, int month, int day)
{
    return LocalDate{year, month - 1, day};
}

} // namespace

TEST(QuotaSpan, MonthsFromTheirStartDay)
{
    struct Case {
        int startDay;
        LocalDate today, start, end;
        int days, elapsed;
    };
    const Case cases[] = {
        {1, date(2026, 2, 10), date(2026, 2, 1), date(2026, 2, 28), 28, 10},
        {1, date(2028, 2, 29), date(2028, 2, 1), date(2028, 2, 29), 29, 29},
        {1, date(2026, 4, 1), date(2026, 4, 1), date(2026, 4, 30), 30, 1},
        {1, date(2026, 12, 31), date(2026, 12, 1), date(2026, 12, 31), 31, 31},
        {15, date(2026, 12, 15), date(2026, 12, 15), date(2027, 1, 14), 31, 1},
        {15, date(2027, 1, 14), date(2026, 12, 15), date(2027, 1, 14), 31, 31},
        {15, date(2026, 2, 20), date(2026, 2, 15), date(2026, 3, 14), 28, 6},
        {15, date(2028, 3, 1), date(2028, 2, 15), date(2028, 3, 14), 29, 16},
        {15, date(2026, 9, 14), date(2026, 8, 15), date(2026, 9, 14), 31, 31},
        {15, date(2026, 9, 30), date(2026, 9, 15), date(2026, 10, 14), 30, 16},
        {28, date(2026, 1, 27), date(2025, 12, 28), date(2026, 1, 27), 31, 31},
        {28, date(2026, 2, 28), date(2026, 2, 28), date(2026, 3, 27), 28, 1},
        {28, date(2028, 3, 1), date(2028, 2, 28), date(2028, 3, 27), 29, 3},
        {28, date(2026, 5, 31), date(2026, 5, 28), date(2026, 6, 27), 31, 4},
        {28, date(2026, 12, 31), date(2026, 12, 28), date(2027, 1, 27), 31, 4},
    };
    for (const Case& c : cases) {
        const QuotaSpan span = quotaSpan(QuotaPeriod::Month, c.startDay, c.today);
        const std::string row = "start day " + std::to_string(c.startDay) + ", today " + isoDate(c.today);
        EXPECT_EQ(isoDate(span.start), isoDate(c.start)) << row;
        EXPECT_EQ(isoDate(span.end), isoDate(c.end)) << row;
        EXPECT_EQ(span.days, c.days) << row;
        EXPECT_EQ(span.elapsedDays, c.elapsed) << row;
    }
}

TEST(QuotaSpan, ADayIsItsOwnSpan)
{
    const QuotaSpan span = quotaSpan(QuotaPeriod::Day, 15, date(2026, 12, 31));
    EXPECT_EQ(isoDate(span.start), "2026-12-31");
    EXPECT_EQ(isoDate(span.end), "2026-12-31");
    EXPECT_EQ(span.days, 1);
    EXPECT_EQ(span.elapsedDays, 1);
}

TEST(QuotaSpan, DayNumbersRoundTripOverCenturies)
{
    EXPECT_EQ(dayNumber(date(1970, 1, 1)), 0);
    EXPECT_EQ(dayNumber(date(2000, 3, 1)) - dayNumber(date(2000, 2, 28)), 2); // 2000 is a leap year
    EXPECT_EQ(dayNumber(date(2100, 3, 1)) - dayNumber(date(2100, 2, 28)), 1); // 2100 is not
    for (long long day = dayNumber(date(1899, 12, 1)); day < dayNumber(date(2101, 2, 1)); day += 7)
        EXPECT_EQ(dayNumber(dateFromDayNumber(day)), day);
}
