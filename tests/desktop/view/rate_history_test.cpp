// Readout texts, unit labels, the unit a readout moves to, and the rate history with its maxima.
#include "desktop/view/rate_history.h"
#include "desktop/view/readout_format.h"

#include <gtest/gtest.h>
#include <numeric>

TEST(ReadoutFormat, DividesAndFormats)
{
    struct Case { float bytes; std::uint32_t divisor; const char* text; };
    const Case cases[] = {
        {123456, 1000, "123.46"}, {123456, 1, "123456.00"}, {0, 1000, "0.00"},
        {2500000, 1000000, "2.50"}, {5, 1000000000, "0.00"}, {999, 1000, "1.00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatReadout(toDisplayUnit(c.bytes, c.divisor)), c.text) << c.bytes << " / " << c.divisor;
}

TEST(ReadoutFormat, UnitLabels)
{
    EXPECT_EQ(unitLabel(1), "B/s");
    EXPECT_EQ(unitLabel(1000), "KB/s");
    EXPECT_EQ(unitLabel(1000000), "MB/s");
    EXPECT_EQ(unitLabel(1000000000), "GB/s");
}

// The room a control gives, as a number of characters; the window measures pixels instead.
TEST(ReadoutFormat, ATextThatDoesNotFitMovesToTheNextLargerUnitThatFits)
{
    struct Case { float bytes; std::uint32_t chosen; std::size_t room; ReadoutText shown; };
    const Case cases[] = {
        {439539840, 1, 8, {"439.54", 1000000}},       // "439539840.00", "439539.84" too long
        {439539840, 1, 12, {"439539840.00", 1}},      // fits where it is
        {439539840, 1000, 8, {"439.54", 1000000}},
        {123456, 1, 9, {"123456.00", 1}},
        {3.0e38f, 1, 9, {formatReadout(3.0e29f), 1000000000}}, // the largest unit, whole
        {0, 1000000000, 4, {"0.00", 1000000000}},
    };
    for (const Case& c : cases) {
        const auto fits = [&c](const std::string& text) { return text.size() <= c.room; };
        EXPECT_EQ(fitReadout(c.bytes, c.chosen, fits), c.shown) << c.bytes << " in " << c.room;
    }
}

TEST(RateHistory, AppendDropsOldestAndRescansMaxima)
{
    RateHistory history(3);
    EXPECT_TRUE(history.append(5, 1));
    EXPECT_TRUE(history.append(2, 7));
    EXPECT_EQ(history.download, (std::vector<float>{0, 5, 2}));
    EXPECT_EQ(history.maxDownload, 5);
    EXPECT_EQ(history.maxUpload, 7);
    history.append(1, 0);
    history.append(0, 0);
    history.append(0, 0); // the 5, 2 and 7 have left the window: the maxima fall
    EXPECT_EQ(history.download, (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(history.maxDownload, 1);
    EXPECT_EQ(history.maxUpload, 0);
}

TEST(RateHistory, LengthZeroKeepsNothingAndKeepsMaxima)
{
    RateHistory history(2);
    history.append(4, 9);
    history.resize(0);
    EXPECT_FALSE(history.append(100, 100));
    EXPECT_TRUE(history.download.empty());
    EXPECT_TRUE(history.upload.empty());
    EXPECT_EQ(history.maxDownload, 4);
    EXPECT_EQ(history.maxUpload, 9);
    history.resize(10);
    EXPECT_EQ(history.download, std::vector<float>(10, 0.0f));
}

TEST(RateHistory, ResizeWorksAtTheOldestEnd)
{
    RateHistory history(30);
    for (int i = 1; i <= 30; ++i)
        history.append(float(i), float(-i));
    history.resize(60);
    ASSERT_EQ(history.length(), 60u);
    ASSERT_EQ(history.upload.size(), 60u);
    EXPECT_EQ(std::accumulate(history.download.begin(), history.download.begin() + 30, 0.0f), 0.0f);
    EXPECT_EQ(history.download[30], 1);
    EXPECT_EQ(history.download[59], 30);
    EXPECT_EQ(history.upload[59], -30);

    for (int i = 31; i <= 60; ++i)
        history.append(float(i), 0);
    history.resize(10);
    std::vector<float> newest;
    for (int i = 51; i <= 60; ++i)
        newest.push_back(float(i));
    EXPECT_EQ(history.download, newest);
    EXPECT_EQ(history.upload.size(), 10u);
}

TEST(RateHistory, RescaleConvertsEveryValueButNotTheMaxima)
{
    RateHistory history(2);
    history.append(2500, 40);
    history.rescale(1000, 1000000);
    EXPECT_FLOAT_EQ(history.download[1], 2.5f);
    EXPECT_FLOAT_EQ(history.upload[1], 0.04f);
    EXPECT_EQ(history.maxDownload, 2500); // recomputed by the next readout
    history.rescale(1000000, 1);
    EXPECT_FLOAT_EQ(history.download[1], 2500000.0f);
    history.append(0, 0);
    EXPECT_FLOAT_EQ(history.maxDownload, 2500000.0f);
}
