#include "dialog_test_support.h"
#include "live_rates_engine.h"
#include "profile/profile_list.h"
#include "desktop/ui/applications/applications_dlg.h"
#include "desktop/widgets/layouts/applications_layout.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>
#include <ctime>

namespace {

std::string rowsOf(const QTreeWidget* table)
{
    QStringList rows;
    for (int i = 0; i < table->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = table->topLevelItem(i);
        QStringList cells;
        for (int column = 0; column < item->columnCount(); ++column)
            cells << item->text(column);
        rows << cells.join('|');
    }
    return rows.join(" / ").toStdString();
}

} // namespace

// On 8 December 2026, from a usage.sqlite with days today, earlier this month and in
// November: each period's applications and interfaces, busiest first; a click on a header sorts
// by that column (names A to Z, amounts largest first), a second click turns the order round.
// The applications' live rates come from the engine once a second while the window is shown,
// a program not saved yet among them, the order and the selection kept.
TEST(ApplicationsWindow, ShowsEachPeriodsRowsSortedByTheColumnClickedWithLiveRates)
{
    TempDir data;
    {
        UsageDatabase usage;
        ASSERT_TRUE(usage.open(data / kUsageDatabaseName)) << usage.lastError();
        const LocalDate today{2026, 11, 8}, earlier{2026, 11, 2}, november{2026, 10, 15};
        UsageBatch batch;
        batch.applications = {{"Work", "Firefox", "", today, 3000, 1000},
                              {"Work", "System", "", today, 500, 4000},
                              {"Work", "Firefox", "", earlier, 2'000'000, 0},
                              {"Work", "sshd", "", earlier, 0, 25'000},
                              {"Work", "Konsole", "", november, 7'500'000'000, 5},
                              {"Default", "Firefox", "", today, 1, 1}};
        batch.interfaces = {{"Work", "eth0", "52:54:00:00:00:01", today, 3500, 5000},
                            {"Work", "wlan0", "52:54:00:00:00:02", earlier, 2'000'000, 30'000},
                            {"Work", "eth0", "52:54:00:00:00:03", november, 7'500'000'000, 5}};
        ASSERT_TRUE(usage.save(batch)) << usage.lastError();
    }
    const DayClock clock([] {
        std::tm noon{};
        noon.tm_year = 126, noon.tm_mon = 11, noon.tm_mday = 8, noon.tm_hour = 12, noon.tm_isdst = -1;
        return std::mktime(&noon);
    });
    CProfile work = makeDefaultProfile("192.0.2.1");
    work.setName("Work");
    LiveRatesEngine live(data.path, {makeDefaultProfile("192.0.2.1"), work}, clock);
    CApplicationsDlg::Setup setup{data / kUsageDatabaseName, "Work", true, &clock};
    setup.liveRates = [&live](const std::string& profile) { return live.rates(profile); };
    CApplicationsDlg window(live.engine.profileSource(), setup);
    window.show();
    auto* periodBox = byId<QComboBox>(&window, kApplicationsPeriodBoxId);
    EXPECT_EQ(byId<QComboBox>(&window, kApplicationsProfileBoxId)->currentText(), "Work");
    EXPECT_EQ(periodBox->itemText(2), "November 2026");
    EXPECT_EQ(periodBox->itemText(13), "December 2025");
    EXPECT_EQ(window.applicationTable()->headerItem()->text(4), "Now (KB/s)");

    const std::string firefox = "Firefox|2.00 MB|1.00 KB|2.00 MB|", sshd = "sshd|0 B|25.00 KB|25.00 KB|",
                      system = "System|500 B|4.00 KB|4.50 KB|", eth0 = "eth0|3.50 KB|5.00 KB|8.50 KB",
                      wlan0 = "wlan0|2.00 MB|30.00 KB|2.03 MB";
    struct Step {
        int period;
        int clicked; // the header clicked in both tables, -1 for none
        std::string applications, interfaces;
    };
    const Step steps[] = {
        {0, -1, system + " / Firefox|3.00 KB|1.00 KB|4.00 KB|", eth0},
        {1, -1, firefox + " / " + sshd + " / " + system, wlan0 + " / " + eth0},
        {1, 0, firefox + " / " + sshd + " / " + system, eth0 + " / " + wlan0},
        {1, 0, system + " / " + sshd + " / " + firefox, wlan0 + " / " + eth0},
        {1, 2, sshd + " / " + system + " / " + firefox, wlan0 + " / " + eth0},
        {2, -1, "Konsole|7.50 GB|5 B|7.50 GB|", "eth0|7.50 GB|5 B|7.50 GB"},
        {3, -1, "", ""},
    };
    for (const Step& step : steps) {
        periodBox->setCurrentIndex(step.period);
        for (QTreeWidget* table : {window.applicationTable(), window.interfaceTable()}) {
            if (step.clicked >= 0)
                QTest::mouseClick(table->header()->viewport(), Qt::LeftButton, {},
                                  QPoint(table->header()->sectionViewportPosition(step.clicked) + 5, 5));
        }
        SCOPED_TRACE(testing::Message() << "period " << step.period << ", clicked " << step.clicked);
        EXPECT_EQ(rowsOf(window.applicationTable()), step.applications);
        EXPECT_EQ(rowsOf(window.interfaceTable()), step.interfaces);
    }

    // Today, by the live rate: sshd's two cgroups and the system's traffic in the last second.
    periodBox->setCurrentIndex(0);
    QTreeWidget* applications = window.applicationTable();
    QTest::mouseClick(applications->header()->viewport(), Qt::LeftButton, {},
                      QPoint(applications->header()->sectionViewportPosition(4) + 5, 5));
    applications->findItems(QStringLiteral("Firefox"), Qt::MatchExactly).front()->setSelected(true);
    const FlowKey key{*parseIpAddress("192.0.2.1"), *parseIpAddress("203.0.113.5")};
    live.count("system.slice/sshd.service", key, 1500, 0); // two cgroups of one service
    live.count("system.slice/sshd.service/a", key, 1500, 0);
    live.count("", key, 0, 250);
    live.engine.meter().tick();
    const std::string expected = "sshd|0 B|0 B|0 B|3.00 / 0.00 / System|500 B|4.00 KB|4.50 KB|0.00 / 0.25 / "
                                 "Firefox|3.00 KB|1.00 KB|4.00 KB|";
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowsOf(applications) == expected; }, 5000)) << rowsOf(applications);
    ASSERT_EQ(applications->selectedItems().size(), 1);
    EXPECT_EQ(applications->selectedItems().front()->text(0), "Firefox");
    EXPECT_TRUE(window.isRefreshing());
    window.hide();
    EXPECT_FALSE(window.isRefreshing());
}
