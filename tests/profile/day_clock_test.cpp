#include "profile/day_clock.h"
#include "support/time_zone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// The cached answer must be the one localtime_r gives, second for second, across midnights,
// New Year and daylight-saving changes, also when the clock jumps backwards.
TEST(DayClock, CachedDateEqualsLocaltimeAcrossBoundaries)
{
    for (const char* zone : {"UTC0", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Pacific/Apia"}) {
        const TimeZoneForTest guard(zone);
        std::time_t now = 0;
        DayClock clock([&] { return now; });
        // 2024-12-30 .. 2025-01-02, and the spring and autumn changes of 2025, in coarse
        // steps with a walk second by second around every local midnight.
        const std::time_t starts[] = {1735516800, 1742950000, 1761350000, 1711800000};
        for (std::time_t start : starts) {
            for (std::time_t t = start; t < start + 4 * 86400; t += 607) {
                now = t;
                ASSERT_EQ(clock.today(), DayClock::dateAt(t)) << zone << " at " << t;
            }
            for (std::time_t t = start + 3 * 86400; t > start; t -= 3607) { // backwards
                now = t;
                ASSERT_EQ(clock.today(), DayClock::dateAt(t)) << zone << " at " << t;
            }
        }
    }
}

TEST(DayClock, NewYearsEveToNewYear)
{
    const TimeZoneForTest guard("UTC0");
    std::time_t now = 1767225599; // 2025-12-31 23:59:59 UTC
    DayClock clock([&] { return now; });
    EXPECT_EQ(clock.today(), (LocalDate{2025, 11, 31}));
    now += 1;
    EXPECT_EQ(clock.today(), (LocalDate{2026, 0, 1}));
    now -= 1; // clock set back
    EXPECT_EQ(clock.today(), (LocalDate{2025, 11, 31}));
}

TEST(DayClock, TwoClocksDoNotShareTheirCache)
{
    const TimeZoneForTest guard("UTC0");
    DayClock early([] { return std::time_t{0}; });
    DayClock late([] { return std::time_t{86400 * 365}; });
    EXPECT_EQ(early.today(), (LocalDate{1970, 0, 1}));
    EXPECT_EQ(late.today(), (LocalDate{1971, 0, 1}));
    EXPECT_EQ(early.today(), (LocalDate{1970, 0, 1}));
}

} // namespace
