// Renders the Activity History window, the Applications window and both Options pages as they look with a month of
// traffic. scripts/screenshot-dialogs runs this under Xvfb and keeps the pictures in docs/;
// otherwise they go to a temporary folder and are only checked for being drawn.
#include "dialog_test_support.h"
#include "live_rates_engine.h"
#include "profile/profile_store.h"
#include "quota/quota_file.h"
#include "desktop/view/quota_texts.h"
#include "desktop/widgets/layouts/applications_layout.h"
#include "desktop/widgets/layouts/history_layout.h"
#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/ui/applications/applications_dlg.h"
#include "desktop/ui/history/history_chart.h"
#include "desktop/ui/history/history_dlg.h"
#include "desktop/ui/history/usage_hours.h"
#include "desktop/ui/options/options_dlg.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

void addProfilesWithAMonthOfTraffic(SharedProfiles& shared)
{
    shared.profiles.resize(2);
    shared.profiles[0] = makeDefaultProfile("192.0.2.10");
    CProfile& home = shared.profiles[1];
    home.setName("Home");
    home.setIp("192.0.2.10");
    home.addIpFilter("*.*.*.*", true);
    home.addIpFilter("192.0.*.*", false);
    home.addIpFilter("198.51.100.7", true);
    home.addPortFilter(true, 443);
    home.addPortFilter(true, 80);
    home.addPortFilter(false, 25);
    for (int day = 1; day <= 30; ++day) {
        if (day % 7 == 0)
            continue; // a few quiet days
        home.addToDayHistory(150'000'000LL + day * 37'000'000LL % 900'000'000LL, true, {2026, 10, day});
        home.addToDayHistory(12'000'000LL + day * 3'100'000LL % 60'000'000LL, false, {2026, 10, day});
    }
    home.addToDayHistory(80'000'000, true, {2026, 9, 12});
}

bool isDrawn(const QImage& image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

void save(QWidget* window, const QString& folder, const char* name)
{
    QApplication::processEvents();
    const QImage image = window->grab().toImage();
    EXPECT_EQ(image.size(), window->size() * image.devicePixelRatio()) << name;
    EXPECT_TRUE(isDrawn(image)) << name;
    EXPECT_TRUE(image.save(QDir(folder).filePath(name))) << name;
}

} // namespace

// What every case starts from: where the pictures go (VELMORA_SCREENSHOT_DIR, else a folder
// removed afterwards), and the Default and Home profiles with a month of traffic.
class Screenshots : public testing::Test {
protected:
    Screenshots() { addProfilesWithAMonthOfTraffic(shared); }

    QTemporaryDir scratch;
    const QString folder = qEnvironmentVariableIsSet("VELMORA_SCREENSHOT_DIR")
                               ? qEnvironmentVariable("VELMORA_SCREENSHOT_DIR")
                               : scratch.path();
    SharedProfiles shared;
    const SharedProfileSource source{shared};
};

TEST_F(Screenshots, HistoryAndOptionsWindows)
{
    CHistoryDlg history(source);
    history.show();
    byId<QComboBox>(&history, kHistoryProfileBoxId)->setCurrentIndex(1);
    EXPECT_EQ(byId<QTreeWidget>(&history, kHistoryTableId)->topLevelItemCount(), 26 + 2);
    save(&history, folder, "history.png");
    history.close();

    DisplaySettings settings;
    OptionsDlg options(settings, ProfileEditor(shared));
    options.show();
    save(&options, folder, "options-general.png");
    byId<QTabWidget>(&options, kOptionsTabsId)->setCurrentIndex(1);
    auto* addresses = byId<QComboBox>(&options, kAddressBoxId);
    {
        // Show a documentation address rather than this machine's own.
        const QSignalBlocker block(addresses);
        addresses->clear();
        addresses->addItem("192.0.2.10");
    }
    byId<QComboBox>(&options, kProfileBoxId)->setCurrentIndex(1);
    EXPECT_EQ(addresses->currentText(), "192.0.2.10");
    // A deny entry typed with its marker, as the list shows it.
    auto* ipEntry = byId<QLineEdit>(&options, kIpEntryEditId);
    QTest::keyClicks(ipEntry, "-198.51.100.*");
    QTest::keyClick(ipEntry, Qt::Key_Return);
    save(&options, folder, "options-profiles.png");
}

// The history window with a quota above the table and the month's chart beside it, then the
// year's, then the hours of a day clicked, named by the scale they are drawn at
// (history-quota-1x.png, history-year-1x.png, history-day-1x.png; -2x under QT_SCALE_FACTOR=2).
TEST_F(Screenshots, HistoryWithAQuota)
{
    const std::vector<Quota> quotas{
        {"Home", QuotaPeriod::Month, 15, QuotaDirection::Total, 50'000'000'000ULL, 90},
        {"Home", QuotaPeriod::Day, 1, QuotaDirection::Down, 2'000'000'000ULL, 90}};
    const LocalDate today{2026, 10, 30};
    CHistoryDlg history(source, nullptr, [&](const std::string& profile) {
        std::vector<std::string> lines;
        for (const QuotaStatus& status : quotaStatuses(quotas, shared.snapshot(), today))
            if (status.quota.profile == profile)
                lines.push_back(quotaTooltipText(status));
        return lines;
    });
    // The hours of 30 November, as the usage database keeps them: a working day's shape.
    QTemporaryDir data;
    const std::filesystem::path usageFile = std::filesystem::path(data.path().toStdString()) / kUsageDatabaseName;
    {
        UsageDatabase usage;
        ASSERT_TRUE(usage.open(usageFile)) << usage.lastError();
        const DayTotals total = dayTotalsOf(shared.profiles[1], {2026, 10, 30});
        ProfileDayHours day{"Home", {2026, 10, 30}, DayHourCounts(24), {std::uint64_t(total.down), std::uint64_t(total.up)}, 23};
        for (int hour = 7; hour < 23; ++hour)
            day.added[std::size_t(hour)] = {std::uint64_t(total.down) / 20 * (hour % 5 + 1) / 3, std::uint64_t(total.up) / 16};
        ASSERT_TRUE(usage.save({{day}, {}, {}, std::nullopt})) << usage.lastError();
    }
    history.setDayHours(usageDayHours(usageFile));
    history.show();
    byId<QComboBox>(&history, kHistoryProfileBoxId)->setCurrentIndex(1);
    const QLabel* quotaLabel = byId<QLabel>(&history, kHistoryQuotaLabelId);
    const QString shown = quotaLabel->text();
    EXPECT_TRUE(shown.startsWith("Quota: ")) << shown.toStdString();
    EXPECT_EQ(shown.count('\n'), 1) << shown.toStdString();
    // A line each, shown whole: not cut, not wrapped.
    EXPECT_LE(quotaLabel->sizeHint().width(), quotaLabel->width()) << shown.toStdString();
    EXPECT_LE(quotaLabel->sizeHint().height(), quotaLabel->height()) << shown.toStdString();
    const int scale = qRound(history.devicePixelRatioF());
    save(&history, folder, QStringLiteral("history-quota-%1x.png").arg(scale).toUtf8().constData());
    auto* months = byId<QComboBox>(&history, kHistoryMonthBoxId);
    months->setCurrentIndex(months->count() - 1); // the whole year: its months
    save(&history, folder, QStringLiteral("history-year-%1x.png").arg(scale).toUtf8().constData());
    months->setCurrentIndex(months->count() - 2); // November; a click on the 30th's bars
    auto* chart = history.findChild<HistoryChart*>();
    (void)chart->grab();
    QTest::mouseClick(chart, Qt::LeftButton, {},
                      QPoint(int(chart->plot().x + chart->plot().width / 30 * 29.5), int(chart->plot().bottom() - 2)));
    EXPECT_TRUE(chart->accessibleName().contains("30 November 2026")) << chart->accessibleName().toStdString();
    save(&history, folder, QStringLiteral("history-day-%1x.png").arg(scale).toUtf8().constData());
    byId<QComboBox>(&history, kHistoryProfileBoxId)->setCurrentIndex(0); // Default: no quota
    EXPECT_EQ(byId<QLabel>(&history, kHistoryQuotaLabelId)->text(), "");
}

// The Options dialog's Quotas page on a month quota, named by its scale (options-quotas-1x.png).
TEST_F(Screenshots, QuotasPage)
{
    QTemporaryDir data;
    std::string problem;
    ASSERT_TRUE(writeQuotaFile(data.path().toStdString(),
                               {{"Home", QuotaPeriod::Month, 15, QuotaDirection::Total, 50'000'000'000ULL, 90}},
                               problem))
        << problem;
    DisplaySettings settings;
    OptionsDlg options(settings, ProfileEditor(shared), nullptr, data.path().toStdString());
    options.show();
    byId<QTabWidget>(&options, kOptionsTabsId)->setCurrentIndex(2);
    byId<QComboBox>(&options, kQuotaProfileBoxId)->setCurrentIndex(1);
    EXPECT_EQ(byId<QLineEdit>(&options, kQuotaLimitEditId)->text(), "50");
    const int scale = qRound(options.devicePixelRatioF());
    save(&options, folder, QStringLiteral("options-quotas-%1x.png").arg(scale).toUtf8().constData());
}

// The Applications window on a day of a desktop's programs with a few talking now, both tabs,
// and counted with the ring (applications-1x.png, applications-interfaces-1x.png, applications-ring-1x.png).
TEST_F(Screenshots, ApplicationsWindow)
{
    QTemporaryDir data;
    const std::filesystem::path usageFile = std::filesystem::path(data.path().toStdString()) / kUsageDatabaseName;
    const LocalDate today = DayClock::system().today();
    {
        UsageDatabase usage;
        ASSERT_TRUE(usage.open(usageFile)) << usage.lastError();
        UsageBatch batch;
        std::uint64_t bytes = 2'400'000'000;
        for (const char* name : {"Firefox", "Thunderbird", "Steam", "Spotify", "Konsole", "sshd", "NetworkManager",
                                 "container 3f2a9c1d0b7e", "Terminal session 3", "System"}) {
            batch.applications.push_back({"Home", name, "", today, bytes, bytes / 9});
            bytes = bytes / 3 + 1'234'567;
        }
        batch.interfaces = {{"Home", "wlp2s0", "52:54:00:12:34:56", today, 3'100'000'000, 310'000'000},
                            {"Home", "enp3s0", "52:54:00:ab:cd:ef", today, 420'000'000, 61'000'000},
                            {"Home", "docker0", "02:42:ac:11:00:02", today, 5'200'000, 1'100'000}};
        ASSERT_TRUE(usage.save(batch)) << usage.lastError();
    }
    // A few of them talking now.
    LiveRatesEngine live(data.path().toStdString(), shared.snapshot(), DayClock::system());
    const FlowKey key{*parseIpAddress("192.0.2.10"), *parseIpAddress("198.51.100.7"), 50000, 443};
    live.count("system.slice/docker-3f2a9c1d0b7e44aa.scope", key, 2'345'678, 117'284);
    live.count("system.slice/NetworkManager.service", key, 48'000, 2'400);
    live.count("system.slice/sshd.service", key, 1'200, 60);
    live.count("", key, 3'400, 170);
    live.engine.meter().tick();
    CApplicationsDlg::Setup setup{usageFile, "Home", true};
    setup.liveRates = [&live](const std::string& profile) { return live.rates(profile); };
    CApplicationsDlg applications(live.engine.profileSource(), setup);
    applications.show();
    EXPECT_EQ(applications.applicationTable()->topLevelItemCount(), 10);
    const int scale = qRound(applications.devicePixelRatioF());
    save(&applications, folder, QStringLiteral("applications-%1x.png").arg(scale).toUtf8().constData());
    byId<QTabWidget>(&applications, kApplicationsTabsId)->setCurrentIndex(1);
    save(&applications, folder, QStringLiteral("applications-interfaces-%1x.png").arg(scale).toUtf8().constData());
    // Counted with the ring: the line saying why everything is System, whole on its line.
    CApplicationsDlg ring(source, {usageFile, "Home", false});
    ring.show();
    const QLabel* notice = byId<QLabel>(&ring, kApplicationsNoticeId);
    EXPECT_TRUE(notice->text().endsWith("everything is System.")) << notice->text().toStdString();
    EXPECT_LE(notice->sizeHint().width(), notice->width()) << notice->text().toStdString();
    save(&ring, folder, QStringLiteral("applications-ring-%1x.png").arg(scale).toUtf8().constData());
}
