// The tray icon's tooltip text and picture.
#include "desktop/app/tray_icon_painter.h"
#include "desktop/view/tray_tooltip.h"

#include <gtest/gtest.h>

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
