// The day-history model: the year and month choices, month names, and the sums of a month by
// day and of a year by month.
#include "profile/day_history.h"
#include "support/profile_files.h"

#include <gtest/gtest.h>

TEST(DayHistory, YearAndMonthChoices)
{
    const CProfile profile = profileWithDays({{{2025, 2, 1}, 1, 0},
                                              {{2026, 6, 9}, 0, 1},
                                              {{2026, 1, 28}, 7, 0},
                                              {{2024, 0, 1}, 1, 1}});
    EXPECT_EQ(yearChoices(profile), (std::vector<std::string>{"2025", "2026", "2024"}));
    EXPECT_EQ(monthsWithTraffic(*profile.findYear(2026)), (std::vector<int>{1, 6}));
    EXPECT_TRUE(monthsWithTraffic(YearHistory{}).empty());
    EXPECT_TRUE(yearChoices(CProfile{}).empty());
}

TEST(DayHistory, AMonthByDayAndAYearByMonth)
{
    const CProfile profile = profileWithDays({{{2026, 1, 28}, 7, 0},
                                              {{2026, 1, 3}, 0, 2},
                                              {{2026, 6, 9}, 5, 1},
                                              {{2025, 1, 4}, 100, 100}});
    const PeriodSums february = periodSums(profile, 2026, 1);
    ASSERT_EQ(february.rows.size(), 2u);
    EXPECT_EQ(february.rows[0].index, 3);
    EXPECT_EQ(february.rows[1].index, 28);
    EXPECT_EQ(february.down, 7);
    EXPECT_EQ(february.up, 2);
    const PeriodSums year = periodSums(profile, 2026, -1);
    ASSERT_EQ(year.rows.size(), 2u);
    EXPECT_EQ(year.rows[0].index, 1);
    EXPECT_EQ(year.rows[0].down, 7);
    EXPECT_EQ(year.rows[1].index, 6);
    EXPECT_EQ(year.down, 12);
    EXPECT_EQ(year.up, 3);
    EXPECT_TRUE(periodSums(profile, 2027, -1).rows.empty());
    EXPECT_EQ(dayTotalsOf(profile, {2026, 6, 9}).up, 1);
}
