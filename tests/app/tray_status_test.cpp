// The tray icon's tooltip text and picture.
#include "app/tray_icon_painter.h"
#include "app/tray_tooltip.h"

#include <gtest/gtest.h>

TEST(TrayTooltip, RatesThenTodayThenNotices)
{
    struct Case { TrayTooltip tooltip; const char* text; };
    const Case cases[] = {
        {{{"123.46", 1000}, {"0.00", 1000}, 1000, std::nullopt, {}}, "Velmora\nDown: 123.46 - Up: 0.00"},
        {{{"439.54", 1000000}, {"2000.00", 1}, 1, DayTotals{1.23e9, 2.1e8}, {"Saving failed"}},
         "Velmora\nDown: 439.54 MB/s - Up: 2000.00\nToday: 1.23 GB down, 210 MB up\nSaving failed"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trayTooltipText(c.tooltip), c.text);
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
TEST(TrayIcon, BarsInTheGraphColoursScaledToItsTop)
{
    const QImage image = TrayIconPainter::paint({10, 2.5f, 10}, 16);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0); // transparent around the bars
    EXPECT_EQ(image.pixelColor(7, 10).alpha(), 0); // and between them
    EXPECT_EQ(image.pixelColor(4, 2), TrayIconPainter::downloadColour()); // full height
    EXPECT_EQ(image.pixelColor(11, 11), TrayIconPainter::uploadColour()); // a quarter: 3 px
    EXPECT_EQ(image.pixelColor(11, 10).alpha(), TrayIconPainter::trackColour().alpha()); // empty part

    struct Case { float rate, top; int height; };
    const Case cases[] = {{0, 10, 0}, {0.01f, 10, 1}, {5, 10, 6}, {25, 10, 12}, {3, 0, 12}};
    for (const Case& c : cases)
        EXPECT_EQ(trayBarHeight(c.rate, c.top, 12), c.height) << c.rate << " of " << c.top;
}
