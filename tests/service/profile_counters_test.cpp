// Bytes since the start as the growth of the history sums, and today's totals.

#include "service/profile_counters.h"

#include <gtest/gtest.h>

namespace {

const LocalDate kToday{2026, 11, 7};

CProfile profileWith(const std::string& name, double down, double up, const LocalDate& date = kToday)
{
    CProfile profile;
    profile.setName(name);
    profile.addToDayHistory(static_cast<long long>(down), true, date);
    profile.addToDayHistory(static_cast<long long>(up), false, date);
    return profile;
}

} // namespace

TEST(ProfileCounters, GrowthSinceStartAcrossDaysAndYearsAndTodaysTotals)
{
    ProfileList list{profileWith("Default", 1000, 10, LocalDate{2025, 5, 1}),
                     profileWith("Old", 10, 10, LocalDate{2020, 0, 1})}; // no record of this year
    ProfileCounters counters(list);
    list[0].addToDayHistory(300, true, LocalDate{2026, 11, 6});
    list[0].addToDayHistory(40, true, kToday);
    list[0].addToDayHistory(7, false, kToday);
    const std::vector<ProfileFigures> figures = counters.figures(list, kToday);
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(figures[0].receivedSinceStart, 340);
    EXPECT_EQ(figures[0].sentSinceStart, 7);
    EXPECT_EQ(figures[0].receivedToday, 40);
    EXPECT_EQ(figures[0].sentToday, 7);
    EXPECT_EQ(figures[1].receivedToday, 0);
    EXPECT_EQ(figures[1].receivedSinceStart, 0);
}

TEST(ProfileCounters, NewProfilesCountFromZeroOnceEachAndARemovedOneResetsOnce)
{
    ProfileList list{profileWith("Home", 5000, 500)};
    ProfileCounters counters(list);
    list.push_back(profileWith("Added", 20, 2));
    list.push_back(profileWith("Added", 9, 9)); // a repeated name: only its first is reported
    list[0] = profileWith("Home", 100, 1); // removed and added again: its sums fell
    std::vector<ProfileFigures> figures = counters.figures(list, kToday);
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(figures[0].receivedSinceStart, 100);
    EXPECT_EQ(figures[1].name, "Added");
    EXPECT_EQ(figures[1].receivedSinceStart, 20);

    // Past the old sums the counter keeps growing from its reset, never falls again.
    list[0].addToDayHistory(6000, true, kToday);
    figures = counters.figures(list, kToday);
    EXPECT_EQ(figures[0].receivedSinceStart, 6100);
}
