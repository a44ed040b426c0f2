// The stderr lines about kernel drops: the first drops at once, then at most once a minute
// while drops go on, each line with the drops since the last one and the total; the total at
// close.

#include "capture/drop_report.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(DropReport, TellsTheFirstDropsAtOnceThenAtMostOnceAMinute)
{
    struct Step {
        std::chrono::seconds at;
        std::uint64_t dropped;
        const char* told; // what the line must say, or nullptr for no line
    };
    const Step steps[] = {
        {0s, 0, nullptr},                              // no drops, nothing to say
        {1s, 5, "dropped 5 packets (5 since start)"},  // the first drops: at once
        {2s, 3, nullptr},                              // within the minute: kept for later
        {60s, 2, nullptr},                             // still within it (59 s after the line)
        {61s, 0, "dropped 5 packets (10 since start)"}, // a minute on: the untold ones and the total
        {200s, 0, nullptr},                            // nothing new: silent however long
        {201s, 1, "dropped 1 packets (11 since start)"},
    };
    DropReport report;
    const auto start = DropReport::Clock::time_point{} + 1000s;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.at.count());
        const std::string line = report.add(step.dropped, start + step.at);
        if (step.told == nullptr)
            EXPECT_EQ(line, "");
        else
            EXPECT_NE(line.find(step.told), std::string::npos) << line;
    }
    EXPECT_EQ(report.total(), 11u);
    EXPECT_FALSE(report.hasUntold());
    // Drops within the quiet period wait for the next call, then the close tells the total.
    report.add(2, start + 202s);
    EXPECT_TRUE(report.hasUntold());
    EXPECT_NE(report.closingLine().find("dropped 13 packets in all"), std::string::npos);
    EXPECT_FALSE(report.hasUntold());
    EXPECT_EQ(DropReport().closingLine(), "") << "no drops, nothing to say at close";
}

} // namespace
