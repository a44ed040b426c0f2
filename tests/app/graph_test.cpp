// Graph geometry (scale, labels, outlines) and one rendered image.
#include "app/graph_geometry.h"
#include "app/graph_painter.h"

#include <QFontInfo>
#include <QImage>
#include <gtest/gtest.h>

TEST(GraphGeometry, ScaleTopAndLabelPlacement)
{
    struct Case { float maxDown, maxUp; std::uint32_t divisor; float top; const char* text; std::optional<float> x; };
    const Case cases[] = {
        {0, 0, 1000, 0, "0", 29.0f},
        {0.4f, 0.2f, 1000, 1, "1", 29.0f},
        {1234.5f, 99, 1000, 1235, "1235", 5.0f},
        {99, 1234.5f, 1000, 1235, "1235", 5.0f},
        {12, 99.2f, 1000, 100, "100", 13.0f},
        {10.5f, 0, 1000, 11, "11", 21.0f},
        // Five characters or more: the next larger unit whose text fits, with its letter.
        {9999.5f, 0, 1000, 10000, "10M", 13.0f},
        {123456, 7, 1, 123456, "123K", 5.0f},
        {0, 99999999.0f, 1, 100000000.0f, "100M", 5.0f},
        {0, 123456, 1000000, 123456, "123G", 5.0f},
        {123456789.0f, 0, 1000000000, 123456792.0f, "123456792", std::nullopt}, // no larger unit
    };
    for (const Case& c : cases) {
        const float top = graph::scaleTop(c.maxDown, c.maxUp);
        EXPECT_EQ(top, c.top) << c.maxDown;
        const std::string text = graph::scaleLabelText(top, c.divisor);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(graph::scaleLabelX(text, 8.0f * float(text.size())), c.x) << text;
    }
    EXPECT_EQ(graph::zeroLabelX(8), 29);
    // Whatever the digit widths, the label ends at the same place left of the axis.
    EXPECT_EQ(*graph::scaleLabelX("1235", 25.5f) + 25.5f, graph::kLabelRight);
    EXPECT_LT(graph::kLabelRight, graph::kAxisX);
}

TEST(GraphGeometry, OutlineRunsFromBaselineThroughSamplesAndBack)
{
    const std::vector<float> samples{0.4f, 0, 2, 1};
    const auto points = graph::outline(samples, 1);
    ASSERT_EQ(points.size(), 6u);
    EXPECT_EQ(points[0], (GraphPoint{40, 80}));
    EXPECT_FLOAT_EQ(points[1].x, 40);
    EXPECT_FLOAT_EQ(points[1].y, 52); // 80 - 70 * 0.4
    EXPECT_FLOAT_EQ(points[2].x, 150);
    EXPECT_FLOAT_EQ(points[2].y, 80);
    EXPECT_FLOAT_EQ(points[3].y, 10); // above the top: drawn at the top
    EXPECT_FLOAT_EQ(points[4].x, 370);
    EXPECT_FLOAT_EQ(points[4].y, 10);
    EXPECT_FLOAT_EQ(points[5].x, 370);
    EXPECT_EQ(points[5].y, 80);
}

TEST(GraphGeometry, OutlineForLengthsTenOneAndZeroAndTopZero)
{
    const auto ten = graph::outline(std::vector<float>(10, 3.0f), 0);
    ASSERT_EQ(ten.size(), 12u);
    const float expectedX[] = {40, 76.6667f, 113.3333f, 150, 186.6667f, 223.3333f, 260, 296.6667f, 333.3333f, 370};
    for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(ten[std::size_t(i) + 1].x, expectedX[i], 1e-3) << i;
        EXPECT_EQ(ten[std::size_t(i) + 1].y, 80); // top 0: flat on the baseline
    }
    EXPECT_NEAR(ten[11].x, 370, 1e-3);

    const auto one = graph::outline({1.0f}, 2);
    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(one[1], (GraphPoint{40, 45}));
    EXPECT_EQ(one[2], (GraphPoint{40, 80}));

    EXPECT_EQ(graph::outline({}, 5), (std::vector<GraphPoint>{{40, 80}, {370, 80}}));
    EXPECT_EQ(graph::outline(std::vector<float>(60, 1), 1).size(), graph::kMaxPoints);
}

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
