#include "dialog_test_support.h"
#include "profile/profile_list.h"
#include "desktop/widgets/layouts/history_layout.h"
#include "desktop/ui/history/history_chart.h"
#include "desktop/ui/history/history_dlg.h"
#include "desktop/ui/history/usage_hours.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTreeWidget>

namespace {

struct HistoryWindowTest : testing::Test {
    void SetUp() override
    {
        shared.profiles.resize(3);
        shared.profiles[0].setName("Default");
        shared.profiles[1].setName("Work");
        shared.profiles[2].setName("Idle");
        CProfile& work = shared.profiles[1];
        work.addToDayHistory(1500000, true, {2025, 11, 30});
        work.addToDayHistory(1500000, true, {2026, 4, 3});
        work.addToDayHistory(250000, false, {2026, 4, 3});
        work.addToDayHistory(5, false, {2026, 4, 17});
        work.addToDayHistory(40, true, {2026, 2, 1});
        work.yearRecord(2027); // a year without traffic
        shared.prepareYear(2028); // records made ahead of traffic: never shown
    }

    void open()
    {
        window.show();
        profileBox = byId<QComboBox>(&window, kHistoryProfileBoxId);
        sizeBox = byId<QComboBox>(&window, kHistorySizeBoxId);
        monthBox = byId<QComboBox>(&window, kHistoryMonthBoxId);
        yearBox = byId<QComboBox>(&window, kHistoryYearBoxId);
        table = byId<QTreeWidget>(&window, kHistoryTableId);
    }

    // Every row of the table, its cells joined with "|".
    QStringList rows() const
    {
        QStringList result;
        for (int i = 0; i < table->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = table->topLevelItem(i);
            QStringList cells;
            for (int column = 0; column < item->columnCount(); ++column)
                cells << item->text(column);
            result << cells.join('|');
        }
        return result;
    }

    SharedProfiles shared;
    SharedProfileSource source{shared};
    CHistoryDlg window{source};
    QComboBox *profileBox = nullptr, *sizeBox = nullptr, *monthBox = nullptr, *yearBox = nullptr;
    QTreeWidget* table = nullptr;
};

} // namespace

TEST_F(HistoryWindowTest, OpensOnTheFirstProfileInMegabytes)
{
    open();
    EXPECT_EQ(itemTexts(profileBox), (QStringList{"Default", "Work", "Idle"}));
    EXPECT_EQ(profileBox->currentIndex(), 0);
    EXPECT_EQ(itemTexts(sizeBox),
              (QStringList{"Bytes (B)", "Kilobytes (KB)", "Megabytes (MB)", "Gigabytes (GB)"}));
    EXPECT_EQ(sizeBox->currentIndex(), 2);
    EXPECT_EQ(yearBox->count(), 0);
    EXPECT_EQ(monthBox->count(), 0);
    EXPECT_EQ(table->topLevelItemCount(), 0);
    EXPECT_EQ(window.findChild<HistoryChart*>()->accessibleName(), "Chart: no traffic recorded");
}

TEST_F(HistoryWindowTest, MonthWithTwoDaysShowsTheirRowsSpacerAndTotal)
{
    open();
    profileBox->setCurrentIndex(1);
    // Years in order of creation, the last one selected; it holds no traffic.
    EXPECT_EQ(itemTexts(yearBox), (QStringList{"2025", "2026", "2027"}));
    EXPECT_EQ(yearBox->currentText(), "2027");
    EXPECT_EQ(monthBox->count(), 0);
    EXPECT_EQ(rows(), (QStringList{"", "Total|0.00|0.00|0.00"}));

    yearBox->setCurrentIndex(1);
    EXPECT_EQ(itemTexts(monthBox), (QStringList{"March", "May", "Whole year"}));
    EXPECT_EQ(monthBox->currentText(), "May");
    EXPECT_EQ(rows(), (QStringList{"3|1.50|0.25|1.75", "17|0.00|0.00|0.00", "", "Total|1.50|0.25|1.75"}));

    monthBox->setCurrentIndex(2); // the year's months
    EXPECT_EQ(table->headerItem()->text(0), "Month");
    EXPECT_EQ(rows(), (QStringList{"March|0.00|0.00|0.00", "May|1.50|0.25|1.75", "", "Total|1.50|0.25|1.75"}));

    monthBox->setCurrentIndex(0);
    EXPECT_EQ(table->headerItem()->text(0), "Day");
    EXPECT_EQ(rows(), (QStringList{"1|0.00|0.00|0.00", "", "Total|0.00|0.00|0.00"}));

    yearBox->setCurrentIndex(0);
    EXPECT_EQ(itemTexts(monthBox), (QStringList{"December", "Whole year"}));
    EXPECT_EQ(rows(), (QStringList{"30|1.50|0.00|1.50", "", "Total|1.50|0.00|1.50"}));
}

TEST_F(HistoryWindowTest, SizeUnitRescalesEveryNumberAndKeepsTheSelection)
{
    open();
    profileBox->setCurrentIndex(1);
    yearBox->setCurrentIndex(1);
    sizeBox->setCurrentIndex(1);
    EXPECT_EQ(rows(), (QStringList{"3|1500.00|250.00|1750.00", "17|0.00|0.01|0.01", "",
                                   "Total|1500.00|250.00|1750.01"}));
    sizeBox->setCurrentIndex(0); // bytes are whole
    EXPECT_EQ(rows(), (QStringList{"3|1500000|250000|1750000", "17|0|5|5", "", "Total|1500000|250005|1750005"}));
    for (int column = 1; column < 4; ++column) // amounts right-aligned, as numbers are
        EXPECT_EQ(table->topLevelItem(0)->textAlignment(column), int(Qt::AlignRight | Qt::AlignVCenter)) << column;
    EXPECT_EQ(profileBox->currentText(), "Work");
    EXPECT_EQ(yearBox->currentText(), "2026");
    EXPECT_EQ(monthBox->currentText(), "May");
}

TEST_F(HistoryWindowTest, ProfileWithoutHistoryEmptiesYearsMonthsAndTable)
{
    open();
    profileBox->setCurrentIndex(1);
    yearBox->setCurrentIndex(1);
    ASSERT_GT(table->topLevelItemCount(), 0);
    profileBox->setCurrentIndex(2);
    EXPECT_EQ(yearBox->count(), 0);
    EXPECT_EQ(monthBox->count(), 0);
    EXPECT_EQ(table->topLevelItemCount(), 0);
}

// While shown the table follows the traffic once a second: new days, months and years appear,
// the profile, year, month and selected row chosen stay.
TEST_F(HistoryWindowTest, FollowsNewTrafficWhileShownKeepingTheChoices)
{
    open();
    profileBox->setCurrentIndex(1);
    yearBox->setCurrentIndex(1);
    ASSERT_EQ(monthBox->currentText(), "May");
    table->setCurrentItem(table->topLevelItem(0)); // day 3
    {
        std::unique_lock lock(shared.guard);
        shared.profiles[1].addToDayHistory(3000000, true, {2026, 4, 20});
        shared.profiles[1].addToDayHistory(1000000, true, {2026, 5, 1});
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows().size() == 5; }, 3 * CHistoryDlg::kRefreshMilliseconds));
    EXPECT_EQ(rows(), (QStringList{"3|1.50|0.25|1.75", "17|0.00|0.00|0.00", "20|3.00|0.00|3.00", "",
                                   "Total|4.50|0.25|4.75"}));
    EXPECT_EQ(itemTexts(monthBox), (QStringList{"March", "May", "June", "Whole year"}));
    EXPECT_EQ(monthBox->currentText(), "May");
    EXPECT_EQ(yearBox->currentText(), "2026");
    EXPECT_EQ(profileBox->currentText(), "Work");
    ASSERT_NE(table->currentItem(), nullptr);
    EXPECT_EQ(table->currentItem()->text(0), "3");
}

// Every header text shows whole in its column, before and after the table is filled.
TEST_F(HistoryWindowTest, HeaderTextsFitTheirColumns)
{
    open();
    const QHeaderView* header = table->header();
    for (const int profile : {0, 1}) {
        profileBox->setCurrentIndex(profile);
        for (int column = 0; column < 4; ++column) {
            const QString text = table->headerItem()->text(column);
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << text.toStdString();
            EXPECT_GT(header->sectionSize(column), header->fontMetrics().horizontalAdvance(text)) << text.toStdString();
        }
    }
}

TEST_F(HistoryWindowTest, EveryOpeningStartsAfreshButTheSizeStays)
{
    open();
    profileBox->setCurrentIndex(1);
    sizeBox->setCurrentIndex(0);
    window.hide();
    {
        std::unique_lock lock(shared.guard);
        shared.profiles[0].addToDayHistory(2000000, true, {2026, 0, 9});
    }
    open();
    EXPECT_EQ(profileBox->currentIndex(), 0);
    EXPECT_EQ(sizeBox->currentIndex(), 0);
    EXPECT_EQ(window.sizeUnit(), 0);
    EXPECT_EQ(rows(), (QStringList{"9|2000000|0|2000000", "", "Total|2000000|0|2000000"}));
}

// A click on a day's bars shows its hours from the usage database, a day without hours stays
// the month, and a click on the hours shows the month again.
TEST_F(HistoryWindowTest, AClickOnADaysBarsShowsItsHours)
{
    TempDir data;
    {
        UsageDatabase usage;
        ASSERT_TRUE(usage.open(data / kUsageDatabaseName)) << usage.lastError();
        ProfileDayHours day{"Work", {2026, 4, 3}, DayHourCounts(24), {1500000, 250000}, 23};
        day.added[14] = {1500000, 250000};
        ASSERT_TRUE(usage.save({{day}, {}, {}, std::nullopt})) << usage.lastError();
    }
    window.setDayHours(usageDayHours(data / kUsageDatabaseName));
    open();
    profileBox->setCurrentIndex(1);
    yearBox->setCurrentIndex(1); // May 2026
    auto* chart = window.findChild<HistoryChart*>();
    ASSERT_NE(chart, nullptr);
    auto clickDay = [&](int day) {
        (void)chart->grab(); // painted: the plot is placed
        const chart::Box plot = chart->plot();
        QTest::mouseClick(chart, Qt::LeftButton, {},
                          QPoint(int(plot.x + plot.width / 31 * (day - 0.5)), int(plot.y + plot.height / 2)));
    };
    clickDay(17);
    EXPECT_EQ(chart->accessibleName(), "Chart of May 2026, downloaded and uploaded per day in MB");
    clickDay(3);
    EXPECT_EQ(chart->accessibleName(), "Chart of 3 May 2026, downloaded and uploaded per hour in MB");
    EXPECT_EQ(chart->accessibleDescription(), "Hour 14: 1.50 MB downloaded, 0.25 MB uploaded");
    clickDay(3);
    EXPECT_EQ(chart->accessibleName(), "Chart of May 2026, downloaded and uploaded per day in MB");
}

// The chart drawn at scale 1 and 2: each bar as high as its row says on the scale the axis
// shows (top 5 MB for a largest day of 3 MB), over its day's place, in one of the two colours
// with nothing blended at its edges; a day of 5 bytes still shows.
TEST(HistoryChart, BarsStandAsTheRowsSayAtScale1And2)
{
    CProfile profile;
    profile.addToDayHistory(1500000, true, {2026, 4, 3});
    profile.addToDayHistory(250000, false, {2026, 4, 3});
    profile.addToDayHistory(5, false, {2026, 4, 17});
    profile.addToDayHistory(3000000, true, {2026, 4, 20});
    const PeriodSums sums = periodSums(profile, 2026, 4);
    constexpr QRgb kDown = 0xFF00C864, kUp = 0xFF0064C8, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;
    HistoryChart chart;
    chart.setColours(kDown & 0xFFFFFF, kUp & 0xFFFFFF);
    chart.showPeriod(sums, 31, chart::Slots::Days, 1e6, "MB", "May 2026");
    EXPECT_TRUE(chart.accessibleDescription().contains("Day 3: 1.50 MB downloaded, 0.25 MB uploaded"));
    for (const int ratio : {1, 2}) {
        QImage image(QSize(320, 200) * ratio, QImage::Format_ARGB32);
        image.setDevicePixelRatio(ratio);
        {
            QPainter painter(&image);
            chart.paint(painter, QSizeF(320, 200));
        }
        // The axis: the longest black column run is the vertical axis, the baseline its foot.
        int axisX = 0, axisTop = 0, axisLength = 0;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0, run = 0; y < image.height(); ++y) {
                run = image.pixel(x, y) == kBlack ? run + 1 : 0;
                if (run > axisLength)
                    axisLength = run, axisX = x, axisTop = y - run + 1;
            }
        const int baseline = axisTop + axisLength - 1;
        int plotRight = axisX;
        while (plotRight + 1 < image.width() && image.pixel(plotRight + 1, baseline) == kBlack)
            ++plotRight;
        const double plotHeight = baseline - axisTop, slot = double(plotRight - axisX) / 31;
        // Bars of one colour, left to right: {middle x, height}.
        auto bars = [&](QRgb colour) {
            std::vector<std::pair<double, int>> found;
            int first = -1, height = 0;
            for (int x = axisX + 1; x <= plotRight + 1; ++x) {
                int column = 0;
                for (int y = axisTop; x <= plotRight && y < baseline; ++y)
                    column += image.pixel(x, y) == colour;
                if (column > 0 && first < 0)
                    first = x, height = 0;
                if (column == 0 && first >= 0)
                    found.emplace_back((first + x) / 2.0, height), first = -1;
                height = std::max(height, column);
            }
            return found;
        };
        const auto down = bars(kDown), up = bars(kUp);
        ASSERT_EQ(down.size(), 2u) << ratio;
        ASSERT_EQ(up.size(), 2u) << ratio;
        const struct { std::pair<double, int> bar; int day; double megabytes; } expected[] = {
            {down[0], 3, 1.5}, {down[1], 20, 3}, {up[0], 3, 0.25}, {up[1], 17, 5e-6}};
        for (const auto& e : expected) {
            EXPECT_NEAR(e.bar.first, axisX + slot * (e.day - 0.5), slot / 2) << ratio << " day " << e.day;
            EXPECT_NEAR(e.bar.second, std::max(1.0, e.megabytes / 5 * plotHeight), 1.0) << ratio << " day " << e.day;
        }
        for (int y = axisTop; y <= baseline; ++y)
            for (int x = axisX; x <= plotRight; ++x) {
                const QRgb pixel = image.pixel(x, y);
                ASSERT_TRUE(pixel == kDown || pixel == kUp || pixel == kBlack || pixel == kWhite)
                    << ratio << " at " << x << "," << y << ": " << std::hex << pixel;
            }
    }
}
