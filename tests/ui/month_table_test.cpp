#include "ui/history/month_table.h"

#include <gtest/gtest.h>

namespace {

CProfile profileWithDays(std::initializer_list<std::tuple<LocalDate, double, double>> days)
{
    CProfile profile;
    profile.setName("Work");
    for (const auto& [date, down, up] : days) {
        profile.addToDayHistory(static_cast<long long>(down), true, date);
        profile.addToDayHistory(static_cast<long long>(up), false, date);
    }
    return profile;
}

} // namespace

TEST(MonthTable, DividesByEachSizeUnit)
{
    const CProfile profile = profileWithDays({{{2026, 0, 1}, 1500000, 0}});
    const char* expected[] = {"1500000.00", "1500.00", "1.50", "0.00"};
    for (std::size_t unit = 0; unit < kSizeUnits.size(); ++unit) {
        const auto rows = monthTable(profile, 2026, 0, kSizeUnits[unit].divisor);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0].downloaded, expected[unit]) << kSizeUnits[unit].text;
        EXPECT_EQ(rows[2].total, expected[unit]) << kSizeUnits[unit].text;
    }
}

TEST(MonthTable, MissingYearGivesNoRowsAndDecemberEndsOnThe31st)
{
    const CProfile profile = profileWithDays({{{2025, 11, 31}, 10, 10}});
    EXPECT_TRUE(monthTable(profile, 2026, 11, 1).empty());
    EXPECT_TRUE(monthTable(CProfile{}, 2025, 0, 1).empty());
    // The last slot of December is day 31.
    EXPECT_EQ(monthTable(profile, 2025, 11, 1)[0].day, "31");
}

TEST(MonthTable, YearAndMonthChoices)
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

TEST(MonthTable, MonthNamesAndProfileLookupAreExact)
{
    EXPECT_EQ(monthIndexOf("March"), 2);
    EXPECT_EQ(monthIndexOf("December"), 11);
    EXPECT_EQ(monthIndexOf("march"), 0);
    EXPECT_EQ(monthIndexOf(""), 0);
}
