#include "desktop/view/month_table.h"
#include "support/profile_files.h"

#include <gtest/gtest.h>

TEST(MonthTable, DividesByEachSizeUnit)
{
    const CProfile profile = profileWithDays({{{2026, 0, 1}, 1500000, 0}});
    const char* expected[] = {"1500000", "1500.00", "1.50", "0.00"}; // bytes are whole
    for (std::size_t unit = 0; unit < kSizeUnits.size(); ++unit) {
        const auto rows = monthTable(profile, 2026, 0, kSizeUnits[unit].divisor);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0].downloaded, expected[unit]) << kSizeUnitTexts[unit];
        EXPECT_EQ(rows[2].total, expected[unit]) << kSizeUnitTexts[unit];
    }
}

// Amounts far beyond any real traffic (a hand-edited file) are written whole.
TEST(MonthTable, AHugeAmountIsWrittenWhole)
{
    CProfile profile;
    profile.yearRecord(2026).days[YearHistory::slotOf(0, 1)].down = 1e300;
    const auto rows = monthTable(profile, 2026, 0, 1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].downloaded.size(), 301u) << rows[0].downloaded;
    EXPECT_EQ(monthTable(profile, 2026, 0, 1000)[2].downloaded.size(), 298u + 3u);
}

TEST(MonthTable, MissingYearGivesNoRowsAndDecemberEndsOnThe31st)
{
    const CProfile profile = profileWithDays({{{2025, 11, 31}, 10, 10}});
    EXPECT_TRUE(monthTable(profile, 2026, 11, 1).empty());
    EXPECT_TRUE(monthTable(CProfile{}, 2025, 0, 1).empty());
    // The last slot of December is day 31.
    EXPECT_EQ(monthTable(profile, 2025, 11, 1)[0].day, "31");
}

TEST(MonthTable, MonthNamesAreExact)
{
    EXPECT_EQ(monthIndexOf("March"), 2);
    EXPECT_EQ(monthIndexOf("December"), 11);
    EXPECT_EQ(monthIndexOf("march"), 0);
    EXPECT_EQ(monthIndexOf(""), 0);
}
