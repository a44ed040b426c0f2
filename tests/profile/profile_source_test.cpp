// What the windows read of the shared list: copies by exact name, day totals by name and date.
#include "profile/profile_list.h"
#include "profile/profile_source.h"

#include <gtest/gtest.h>

TEST(ProfileSource, CopiesAndTotalsByTheWholeCaseSensitiveName)
{
    SharedProfiles shared;
    shared.profiles.resize(3);
    shared.profiles[0].setName("work");
    shared.profiles[1].setName("Work");
    shared.profiles[2].setName("Work");
    shared.profiles[1].setIp("192.0.2.1");
    shared.profiles[1].addToDayHistory(700, true, {2026, 4, 17});
    shared.prepareYear(2027); // reserved for traffic to come: not part of a copy
    const SharedProfileSource source(shared);
    ASSERT_TRUE(source.profileCopy("Work"));
    EXPECT_EQ(source.profileCopy("Work")->getIp(), "192.0.2.1");
    EXPECT_EQ(source.profileCopy("Work")->history.size(), 1u);
    EXPECT_FALSE(source.profileCopy("WORK"));
    EXPECT_EQ(source.profileNames(), (std::vector<std::string>{"work", "Work", "Work"}));
    EXPECT_EQ(source.dayTotals("Work", {2026, 4, 17}).down, 700);
    EXPECT_EQ(source.dayTotals("Work", {2026, 4, 18}).down, 0);
    EXPECT_EQ(source.dayTotals("work", {2026, 4, 17}).down, 0);
    EXPECT_EQ(source.dayTotals("Work", {2026, 12, 1}).down, 0); // no such month
}
