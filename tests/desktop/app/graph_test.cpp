// The rendered graph: frame, axes, fills and their overlap, at the screen's pixel ratio.
#include "desktop/app/graph_painter.h"
#include "desktop/view/graph_geometry.h"

#include <QFontInfo>
#include <QImage>
#include <gtest/gtest.h>

namespace {

// White under download, then upload, each at alpha 128, as source-over blends them.
int blended(int under, int over)
{
    return (over * 128 + under * 127) / 255;
}

void expectColour(const QImage& image, int x, int y, QColor expected)
{
    const QColor actual = image.pixelColor(x, y);
    EXPECT_NEAR(actual.red(), expected.red(), 2) << x << "," << y;
    EXPECT_NEAR(actual.green(), expected.green(), 2) << x << "," << y;
    EXPECT_NEAR(actual.blue(), expected.blue(), 2) << x << "," << y;
}

} // namespace

TEST(GraphPainter, DrawsFrameAxesFillsAndOverlapOrder)
{
    RateHistory history(10);
    for (int i = 0; i < 10; ++i)
        history.append(i < 5 ? 10.0f : 2.0f, 5.0f); // download high on the left, upload flat
    GraphPainter painter;
    const QImage& image = painter.render(history);
    ASSERT_EQ(image.size(), QSize(380, 150));

    expectColour(image, 0, 50, Qt::black);   // border
    expectColour(image, 379, 50, Qt::black);
    expectColour(image, 200, 103, Qt::black);
    expectColour(image, 40, 30, QColor(0, 100, 50)); // vertical axis, under the download fill
    expectColour(image, 200, 80, Qt::black); // baseline
    expectColour(image, 200, 95, Qt::white); // below the plot
    expectColour(image, 375, 40, Qt::white); // right of the plot

    const QColor download(blended(255, 0), blended(255, 200), blended(255, 100));
    const QColor both(blended(download.red(), 0), blended(download.green(), 100), blended(download.blue(), 200));
    const QColor upload(blended(255, 0), blended(255, 100), blended(255, 200));
    expectColour(image, 60, 30, download); // download only: above upload's 5 of 10, left half
    expectColour(image, 60, 70, both);     // both: upload lies over download
    expectColour(image, 350, 60, upload);  // upload above download's 2 on the right
    expectColour(image, 350, 75, both);
    EXPECT_NE(image.pixelColor(60, 70), QColor(blended(upload.red(), 0), blended(upload.green(), 200), blended(upload.blue(), 100)));

    // The "10" label ends left of the axis; the "0" label sits near the baseline.
    bool labelInk = false, inkRightOfLabel = false;
    for (int y = 6; y < 20; ++y) {
        for (int x = 2; x < 38; ++x)
            labelInk |= image.pixelColor(x, y) == Qt::black;
        for (int x = 38; x < 40; ++x)
            inkRightOfLabel |= image.pixelColor(x, y) != Qt::white;
    }
    EXPECT_TRUE(labelInk);
    EXPECT_FALSE(inkRightOfLabel);
    const QFontInfo font(painter.font());
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_EQ(font.family(), "Liberation Sans"); // what "Arial" resolves to on Debian
}

// On a screen of two device pixels per pixel the graph is drawn with twice the pixels, not
// enlarged: the one-pixel border is two device pixels wide and the white starts right after.
TEST(GraphPainter, DrawsAtTheScreensDevicePixelRatio)
{
    RateHistory history(10);
    history.append(10.0f, 5.0f);
    GraphPainter painter;
    painter.setDevicePixelRatio(2);
    const QImage& image = painter.render(history);
    ASSERT_EQ(image.size(), QSize(760, 300));
    for (int x : {0, 1, 758, 759})
        expectColour(image, x, 100, Qt::black);
    for (int x : {2, 757})
        expectColour(image, x, 100, Qt::white);
    expectColour(image, 400, 160, Qt::black); // baseline at y 80

    QImage frame(760, 208, QImage::Format_RGB32); // the frame gets the device pixels one for one
    frame.setDevicePixelRatio(2);
    painter.copyTo(&frame);
    EXPECT_EQ(frame, image.copy(0, 0, 760, 208));
}
