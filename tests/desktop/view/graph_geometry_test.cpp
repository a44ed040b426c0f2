// Where the graph puts its scale, labels and outlines.
#include "desktop/view/graph_geometry.h"

#include <gtest/gtest.h>

TEST(GraphGeometry, ScaleTopAndLabelPlacement)
{
    struct Case { float maxDown, maxUp; std::uint32_t divisor; float top; const char* text; std::optional<float> x; };
    const Case cases[] = {
        {0, 0, 1000, 1, "1", 29.0f}, // idle: the smallest scale
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
