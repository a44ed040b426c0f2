#include "dialog_test_support.h"
#include "profile/profile_list.h"
#include "desktop/ui/applications/applications_dlg.h"
#include "desktop/widgets/layouts/applications_layout.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>
#include <ctime>

namespace {

std::time_t noonOf(int year, int month, int day)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month;
    local.tm_mday = day;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

QStringList rowsOf(const QTreeWidget* table)
{
    QStringList rows;
    for (int i = 0; i < table->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = table->topLevelItem(i);
        QStringList cells;
        for (int column = 0; column < item->columnCount(); ++column)
            cells << item->text(column);
        rows << cells.join('|');
    }
    return rows;
}

void clickHeader(QTreeWidget* table, int column)
{
    QHeaderView* header = table->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

} // namespace

// On 8 December 2026, from a usage.sqlite with days today, earlier this month and in
// November: each period's applications and interfaces, busiest first; a click on a header sorts
// by that column (names A to Z, amounts largest first), a second click turns the order round.
TEST(ApplicationsWindow, ShowsEachPeriodsRowsSortedByTheColumnClicked)
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
    SharedProfiles shared;
    shared.profiles.resize(2);
    shared.profiles[0].setName("Default");
    shared.profiles[1].setName("Work");
    const SharedProfileSource source(shared);
    const DayClock clock([] { return noonOf(2026, 11, 8); });
    CApplicationsDlg window(source, {data / kUsageDatabaseName, "Work", false, &clock});
    window.show();
    auto* periodBox = byId<QComboBox>(&window, kApplicationsPeriodBoxId);
    EXPECT_EQ(byId<QComboBox>(&window, kApplicationsProfileBoxId)->currentText(), "Work");
    EXPECT_EQ(periodBox->itemText(2), "November 2026");
    EXPECT_EQ(periodBox->itemText(13), "December 2025");
    EXPECT_TRUE(byId<QLabel>(&window, kApplicationsNoticeId)->text().contains("everything is System"));

    struct Case {
        int period;
        std::vector<int> clicks; // header columns clicked, in turn
        QStringList applications, interfaces;
    };
    const Case cases[] = {
        {0, {}, {"System|500 B|4.00 KB|4.50 KB", "Firefox|3.00 KB|1.00 KB|4.00 KB"}, {"eth0|3.50 KB|5.00 KB|8.50 KB"}},
        {1, {},
         {"Firefox|2.00 MB|1.00 KB|2.00 MB", "sshd|0 B|25.00 KB|25.00 KB", "System|500 B|4.00 KB|4.50 KB"},
         {"wlan0|2.00 MB|30.00 KB|2.03 MB", "eth0|3.50 KB|5.00 KB|8.50 KB"}},
        {1, {0}, {"Firefox|2.00 MB|1.00 KB|2.00 MB", "sshd|0 B|25.00 KB|25.00 KB", "System|500 B|4.00 KB|4.50 KB"},
         {"eth0|3.50 KB|5.00 KB|8.50 KB", "wlan0|2.00 MB|30.00 KB|2.03 MB"}},
        {1, {0, 0},
         {"System|500 B|4.00 KB|4.50 KB", "sshd|0 B|25.00 KB|25.00 KB", "Firefox|2.00 MB|1.00 KB|2.00 MB"},
         {"wlan0|2.00 MB|30.00 KB|2.03 MB", "eth0|3.50 KB|5.00 KB|8.50 KB"}},
        {1, {2},
         {"sshd|0 B|25.00 KB|25.00 KB", "System|500 B|4.00 KB|4.50 KB", "Firefox|2.00 MB|1.00 KB|2.00 MB"},
         {"wlan0|2.00 MB|30.00 KB|2.03 MB", "eth0|3.50 KB|5.00 KB|8.50 KB"}},
        {2, {}, {"Konsole|7.50 GB|5 B|7.50 GB"}, {"eth0|7.50 GB|5 B|7.50 GB"}},
        {3, {}, {}, {}},
    };
    for (const Case& test : cases) {
        CApplicationsDlg shown(source, {data / kUsageDatabaseName, "Work", true, &clock});
        shown.show();
        byId<QComboBox>(&shown, kApplicationsPeriodBoxId)->setCurrentIndex(test.period);
        for (int column : test.clicks) {
            clickHeader(shown.applicationTable(), column);
            clickHeader(shown.interfaceTable(), column);
        }
        SCOPED_TRACE(testing::Message() << "period " << test.period << ", clicks " << test.clicks.size());
        EXPECT_EQ(rowsOf(shown.applicationTable()).join(" / ").toStdString(), test.applications.join(" / ").toStdString());
        EXPECT_EQ(rowsOf(shown.interfaceTable()).join(" / ").toStdString(), test.interfaces.join(" / ").toStdString());
        EXPECT_EQ(byId<QLabel>(&shown, kApplicationsNoticeId)->text(), "");
    }
}
