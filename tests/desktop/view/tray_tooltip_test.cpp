// The tray tooltip's text: rates, today's totals, notices.
#include "desktop/view/quota_texts.h"
#include "desktop/view/tray_tooltip.h"

#include <gtest/gtest.h>

TEST(TrayTooltip, RatesThenTodayThenNotices)
{
    struct Case { TrayTooltip tooltip; const char* text; };
    const Case cases[] = {
        {{{"123.46", 1000}, {"0.00", 1000}, std::nullopt, std::nullopt, std::nullopt, {}}, "Velmora\nDown: 123.46 KB/s - Up: 0.00 KB/s"},
        {{{"439.54", 1000000}, {"2000.00", 1}, DayTotals{1.23e9, 2.1e8}, std::nullopt, std::nullopt, {"Saving failed"}},
         "Velmora\nDown: 439.54 MB/s - Up: 2000.00 B/s\nToday: 1.23 GB down, 210 MB up\nSaving failed"},
        {{{"1.00", 1000}, {"2.00", 1000}, DayTotals{5e6, 0}, DayTotals{1.23e10, 2.1e9}, 9, {}},
         "Velmora\nDown: 1.00 KB/s - Up: 2.00 KB/s\nToday: 5.00 MB down, 0 B up\nThis month: 12.3 GB down, 2.10 GB up (quota: 9 days left)"},
        {{{"1.00", 1000}, {"2.00", 1000}, std::nullopt, DayTotals{0, 0}, 1, {}},
         "Velmora\nDown: 1.00 KB/s - Up: 2.00 KB/s\nThis month: 0 B down, 0 B up (quota: 1 day left)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trayTooltipText(c.tooltip), c.text);
}

TEST(QuotaTexts, TooltipLineAndNotification)
{
    QuotaStatus status;
    status.quota.profile = "Default";
    status.quota.limitBytes = 50000000000;
    status.profileFound = true;
    status.span = quotaSpan(QuotaPeriod::Month, 15, {2027, 0, 4});
    status.used = 45e9;
    status.percent = 90;
    EXPECT_EQ(quotaTooltipText(status), "Quota: 45.0 of 50.0 GB, 90%, month from 15 Dec");
    const QuotaNotification notification = quotaNotification(status, QuotaLevel::Warn);
    EXPECT_EQ(notification.summary, "Quota warning: Default");
    EXPECT_EQ(notification.body, "Default used 45.0 of 50.0 GB (90%) this month (from 2026-12-15)");
    EXPECT_EQ(quotaNotification(status, QuotaLevel::Limit).summary, "Quota used up: Default");
}

TEST(TrayTooltip, ByteAmountsKeepThreeDigits)
{
    struct Case { double bytes; const char* text; };
    const Case cases[] = {
        {-5, "0 B"}, {999, "999 B"}, {999.6, "1.00 KB"}, {12345, "12.3 KB"}, {209'960'000, "210 MB"},
        {999'700'000, "1.00 GB"}, {4.56e12, "4.56 TB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatByteAmount(c.bytes), c.text) << c.bytes;
}

// At 16 px: margin 2, bars 5 wide at x 2..6 (download) and 9..13 (upload), 12 high from y 2.
