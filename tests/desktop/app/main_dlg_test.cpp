// The main window: keys, saving on close, readout delivery, profile selection, display
// settings, minimising without a tray. Workers stay off: readouts come from the meter's
// own tick(), called here.
#include "desktop/app/about_dlg.h"
#include "desktop/widgets/dialog_builder.h"
#include "desktop/app/main_dlg.h"
#include "desktop/ui/applications/applications_dlg.h"
#include "profile/profile_store.h"
#include "desktop/widgets/layouts/history_layout.h"
#include "desktop/widgets/layouts/resource_ids.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

namespace {

CProfile makeProfile(const std::string& name, double downToday = 0)
{
    CProfile profile = makeDefaultProfile("192.0.2.1");
    profile.setName(name);
    if (downToday > 0)
        profile.addToDayHistory(downToday, true, LocalDate{2026, 5, 17});
    return profile;
}

class MainDlgTest : public testing::Test {
protected:
    MainDlgOptions options()
    {
        MainDlgOptions result;
        result.profileDirectory = directory();
        result.startWorkers = false;
        result.settingsFile = temp.filePath("velmora.conf");
        return result;
    }
    std::filesystem::path directory() const { return std::filesystem::path(temp.path().toStdString()) / "profiles"; }
    void writeProfiles(const ProfileList& list) { ASSERT_TRUE(saveAllProfiles(list, {}, directory())); }
    ProfileList loadBack() const
    {
        ProfileList list;
        loadAllProfiles(list, directory(), "192.0.2.1");
        return list;
    }
    static QString text(const CMainDlg& window, int id) { return control<QLabel>(&window, id)->text(); }

    QTemporaryDir temp;
};

} // namespace

TEST_F(MainDlgTest, ReturnAndEscapeDoNotEndTheWindow)
{
    CMainDlg window(options());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (QWidget* target : {static_cast<QWidget*>(&window), control(&window, 1013)}) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(target, key);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.result(), 0);

    // A dialog without that handling would have ended on the same key.
    QDialog plain;
    plain.show();
    QTest::keyClick(&plain, Qt::Key_Escape);
    EXPECT_FALSE(plain.isVisible());
}

// Closing the window ends its run; the session manager's request to save (a checkpoint, a
// logout that may be cancelled) saves at once and leaves the run going. Either way every
// profile, the ones added while it ran included, is written.
TEST_F(MainDlgTest, ClosingTheWindowOrEndingTheSessionSavesEveryProfile)
{
    const std::pair<const char*, std::function<void(CMainDlg&)>> endings[] = {
        {"close", [](CMainDlg& window) {
             QTimer::singleShot(0, &window, [&window] { window.close(); });
             window.exec(); // ends when the window closes, as the program's run does
         }},
        {"session save", [this](CMainDlg& window) {
             bool ranOn = false;
             QTimer::singleShot(0, &window, [&] {
                 window.saveForSession();
                 EXPECT_EQ(loadBack().size(), 3u); // written before the window goes
                 QTimer::singleShot(0, &window, [&] {
                     ranOn = true;
                     window.close();
                 });
             });
             QTimer::singleShot(60000, &window, [&window] { window.done(5); }); // hang guard only
             window.exec();
             EXPECT_TRUE(ranOn);
         }},
    };
    for (const auto& [name, end] : endings) {
        std::filesystem::remove_all(directory());
        writeProfiles({makeProfile("Work", 5000)});
        {
            CMainDlg window(options());
            {
                std::unique_lock lock(window.monitorEngine().profiles().guard);
                ASSERT_EQ(window.monitorEngine().profiles().profiles.size(), 2u) << name; // Default was added
                window.monitorEngine().profiles().profiles[1].addToDayHistory(700, false, LocalDate{2026, 5, 17});
                window.monitorEngine().profiles().profiles.push_back(makeProfile("Home", 42));
            }
            end(window);
        }
        const ProfileList saved = loadBack();
        ASSERT_EQ(saved.size(), 3u) << name;
        std::map<std::string, DayTotals> today;
        for (const CProfile& profile : saved)
            today[profile.name] = profile.history.empty() ? DayTotals{} : profile.history[0].days[YearHistory::slotOf(5, 17)];
        EXPECT_EQ(today["Work"].down, 5000) << name;
        EXPECT_EQ(today["Work"].up, 700) << name;
        EXPECT_EQ(today["Home"].down, 42) << name;
        EXPECT_TRUE(today.count("Default")) << name;
    }
}

TEST_F(MainDlgTest, ReadoutsArriveQueuedFormattedAndMoveTheHistory)
{
    CMainDlg window(options());
    CTrafficMeter& meter = window.trafficMeter();
    meter.downloadBytes = 123456;
    meter.uploadBytes = 2000;
    meter.downloadOverhead = 40;
    std::thread([&meter] { meter.tick(); }).join();

    // Nothing reaches a widget from the meter's thread; the texts change on this thread.
    EXPECT_EQ(text(window, 1001), "");
    QCoreApplication::processEvents();
    const std::pair<int, const char*> expected[] = {
        {1001, "123.46"}, {1002, "2.00"},  // current
        {1003, "41.15"}, {1004, "0.67"},   // average: a third after the first period
        {1005, "0.04"}, {1006, "0.00"},    // current overhead
        {1011, "0.01"}, {1012, "0.00"},    // average overhead
    };
    for (const auto& [id, value] : expected)
        EXPECT_EQ(text(window, id), value) << id;
    EXPECT_EQ(text(window, 1007), "KB/s"); // as Options names the unit

    const RateHistory& history = window.rateHistory();
    ASSERT_EQ(history.length(), 30u);
    EXPECT_FLOAT_EQ(history.download.back(), 123.456f);
    EXPECT_FLOAT_EQ(history.maxDownload, 123.456f);
    EXPECT_FLOAT_EQ(history.maxUpload, 2.0f);

    meter.tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(text(window, 1001), "0.00");
    EXPECT_EQ(history.download[28], 123.456f);
    EXPECT_EQ(history.download[29], 0.0f);
    EXPECT_FLOAT_EQ(history.maxDownload, 123.456f);

    // The frame shows the painted graph: black border, white inside.
    const QImage shown = control(&window, 1037)->grab().toImage();
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(375, 95), QColor(Qt::white));
}

TEST_F(MainDlgTest, DisplaySettingsRelabelResizeRescaleAndReselect)
{
    writeProfiles({makeProfile("Work")});
    CMainDlg window(options());
    CTrafficMeter& meter = window.trafficMeter();
    meter.downloadBytes = 2500000;
    meter.tick();
    QCoreApplication::processEvents();
    control<QComboBox>(&window, 1013)->setCurrentIndex(1);
    ASSERT_EQ(meter.selectedProfile.load(), 1u);

    DisplaySettings& settings = window.displaySettings();
    settings.unitDivisor = 1000000;
    settings.historyLength = 60;
    window.applyDisplaySettings(1000, 30);
    const RateHistory& history = window.rateHistory();
    ASSERT_EQ(history.length(), 60u);
    EXPECT_EQ(history.download[30], 0.0f); // zeros were added at the oldest end
    EXPECT_FLOAT_EQ(history.download[59], 2.5f);
    for (int id : {1007, 1008, 1031, 1032, 1009, 1010, 1033, 1034})
        EXPECT_EQ(text(window, id), "MB/s") << id;
    // The counted profile stays while it exists; once it is gone, Default is counted.
    EXPECT_EQ(meter.selectedProfile.load(), 1u);
    EXPECT_EQ(control<QComboBox>(&window, 1013)->currentText(), "Work");
    window.monitorEngine().profiles().profiles.erase(window.monitorEngine().profiles().profiles.begin() + 1);
    window.applyDisplaySettings(1000000, 60);
    EXPECT_EQ(control<QComboBox>(&window, 1013)->currentText(), "Default");
    EXPECT_EQ(window.monitorEngine().profiles().profiles[meter.selectedProfile.load()].name, "Default");

    settings.historyLength = 0;
    window.applyDisplaySettings(1000000, 60);
    meter.downloadBytes = 7000000;
    meter.tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(text(window, 1001), "7.00"); // readouts go on without a history
    EXPECT_EQ(history.length(), 0u);
}

TEST_F(MainDlgTest, SelectingAProfileCountsTheFirstOfThatWholeName)
{
    const std::string longName = std::string(79, 'n');
    writeProfiles({makeProfile("Work"), makeProfile(longName + "A"), makeProfile(longName + "B")});
    CMainDlg window(options());
    auto* selector = control<QComboBox>(&window, 1013);
    ProfileList list = window.monitorEngine().profiles().snapshot();
    ASSERT_EQ(selector->count(), 4);
    for (int index : {3, 2, 1, 0}) {
        selector->setCurrentIndex(index);
        EXPECT_EQ(window.trafficMeter().selectedProfile.load(), std::uint32_t(index));
        EXPECT_EQ(list[std::size_t(index)].name, selector->itemText(index).toStdString());
    }
}

TEST_F(MainDlgTest, MinimisingWithoutATrayLeavesTheWindowMinimised)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()); // offscreen has none
    CMainDlg window(options());
    window.show();
    window.showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.trayController().isInTray());
    window.trayController().restoreFromTray(); // nothing to restore from
    EXPECT_TRUE(window.isMinimized());
}

TEST(HelpDocument, FoundInCurrentDirectoryThenDataDirectory)
{
    QTemporaryDir current, data;
    EXPECT_EQ(findHelpDocument(current.path(), data.path()), QString());
    QFile(data.filePath("Velmora.html")).open(QIODevice::WriteOnly);
    EXPECT_EQ(findHelpDocument(current.path(), data.path()), data.filePath("Velmora.html"));
    QFile(current.filePath("Velmora.html")).open(QIODevice::WriteOnly);
    EXPECT_EQ(findHelpDocument(current.path(), data.path()), current.filePath("Velmora.html"));
    EXPECT_EQ(findHelpDocument(QString(), QString()), QString());
}

// Without the manual's file, or when the desktop cannot open it (the offscreen platform opens
// nothing, as a desktop without a launcher), Help still shows the manual, corrected.
TEST_F(MainDlgTest, HelpShowsTheBuiltInManualWhenTheDesktopCannotOpenIt)
{
    QFile(temp.filePath("Velmora.html")).open(QIODevice::WriteOnly);
    for (const QString& file : {QString(), temp.filePath("Velmora.html")}) {
        CMainDlg window(options());
        window.openManual(file);
        ASSERT_NE(window.manual(), nullptr) << file.toStdString();
        EXPECT_TRUE(window.manual()->isVisible());
        const QString text = window.manual()->findChild<QTextBrowser*>()->toPlainText();
        EXPECT_TRUE(text.contains("40 bytes for each packet longer than 40 bytes"));
        EXPECT_FALSE(text.contains("per TCP packet"));
    }
}

// The manual opens whole on the screen, even over a window in a corner of a small or scaled
// one (run at scale 2 too), and closes by Escape and by Ctrl+W.
TEST_F(MainDlgTest, TheManualLiesOnTheScreenAndClosesByKey)
{
    CMainDlg window(options());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect area = window.screen()->availableGeometry();
    window.move(area.right() - 50, area.bottom() - 50);
    for (const QKeyCombination key : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
        window.openManual({});
        QWidget* manual = window.manual();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(manual));
        EXPECT_TRUE(area.contains(manual->frameGeometry()))
            << manual->frameGeometry().x() << "," << manual->frameGeometry().y() << " "
            << manual->frameGeometry().width() << "x" << manual->frameGeometry().height();
        QTextBrowser* text = manual->findChild<QTextBrowser*>();
        text->setFocus();
        QTest::keyClick(text, key.key(), key.keyboardModifiers());
        EXPECT_FALSE(manual->isVisible()) << QKeySequence(key).toString().toStdString();
    }
}

namespace {

// Runs the window's modal loop, triggers the command from inside it and answers the modal
// dialog it opens, if any, with `answer`. Returns the class name of that dialog.
QString runCommand(CMainDlg& window, int commandId, const std::function<void(QWidget*)>& answer = {})
{
    QString opened;
    QTimer::singleShot(0, &window, [&] {
        QTimer::singleShot(0, &window, [&] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != &window) {
                opened = QString::fromUtf8(modal->metaObject()->className());
                if (answer)
                    answer(modal);
            }
            window.done(1); // ends the window's own loop once the command has returned
        });
        menuAction(&window, commandId)->trigger();
    });
    window.exec();
    return opened;
}

} // namespace

TEST_F(MainDlgTest, ExitCommandsEndTheRun)
{
    for (int command : {32773, 32784}) {
        CMainDlg window(options());
        QTimer::singleShot(0, &window, [&window, command] { menuAction(&window, command)->trigger(); });
        QTimer::singleShot(60000, &window, [&window] { window.done(5); }); // hang guard only
        window.exec();
        EXPECT_NE(window.result(), 5) << command;
    }
    // A quit request ends every event loop until the application's own loop has run; run it
    // once so that later tests in this process can open dialogs again.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST_F(MainDlgTest, ViewCommandsOpenTheirWindows)
{
    const std::pair<int, QString> commands[] = {
        {32777, "CHistoryDlg"}, {32782, "CHistoryDlg"}, {32778, "CApplicationsDlg"}};
    for (const auto& [command, window] : commands) {
        CMainDlg main(options());
        const QString opened = runCommand(main, command, [](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        EXPECT_EQ(opened, window) << command;
    }
}

// View > Applications... shows each application with its desktop file's icon (here an image
// file named by its path), and the generic one for an application no desktop file names; its
// figures include what was counted and not saved yet.
TEST_F(MainDlgTest, TheApplicationsWindowShowsTheDesktopFilesIcons)
{
    const std::filesystem::path data(temp.path().toStdString());
    const QString icon = QStringLiteral(VELMORA_SOURCE_DIR "/res/velmora.png");
    std::filesystem::create_directories(data / "share/applications");
    std::ofstream(data / "share/applications/net.velmora.Velmora.desktop")
        << "[Desktop Entry]\nName=Velmora\nIcon=" << icon.toStdString() << "\n";
    {
        UsageDatabase usage;
        ASSERT_TRUE(usage.open(data / kUsageDatabaseName)) << usage.lastError();
        const LocalDate today = DayClock::system().today();
        ASSERT_TRUE(usage.save({{}, {{"Default", "Velmora", "", today, 2000, 10}, {"Default", "sshd", "", today, 5, 5}}, {}, {}}));
    }
    const QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((data / "share").string()));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString((data / "none").string()));
    MainDlgOptions setup = options();
    setup.usageDatabase = data / kUsageDatabaseName;
    CMainDlg window(setup);
    window.trafficMeter().countFlow({{}, {}, 0, 0, 0, PacketWay::Received, 0}, {4, 0, 1}); // not saved yet
    window.trafficMeter().tick();
    QImage shown[2];
    std::string system;
    runCommand(window, 32778, [&](QWidget* modal) {
        const QTreeWidget* table = static_cast<CApplicationsDlg*>(modal)->applicationTable();
        for (int row = 0; row < std::min(table->topLevelItemCount(), 2); ++row)
            shown[row] = table->topLevelItem(row)->icon(0).pixmap(32).toImage();
        if (table->topLevelItemCount() == 3)
            for (int column = 0; column < table->columnCount(); ++column)
                system += table->topLevelItem(2)->text(column).toStdString() + "|";
        static_cast<QDialog*>(modal)->reject();
    });
    for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", home}, std::pair{"XDG_DATA_DIRS", dirs}})
        value.isNull() ? (void)qunsetenv(name) : (void)qputenv(name, value);
    EXPECT_EQ(shown[0], QIcon(icon).pixmap(32).toImage()); // Velmora, the busier
    EXPECT_FALSE(shown[1].isNull());                       // sshd: the generic icon
    EXPECT_NE(shown[1], shown[0]);
    EXPECT_EQ(system, "System|4 B|0 B|4 B|0.00 / 0.00|"); // today's as counted, and its rate
}

// The Activity History's Size choice is kept from one opening, and one run, to the next.
TEST_F(MainDlgTest, TheHistorySizeChoiceIsKeptBetweenRuns)
{
    {
        CMainDlg first(options());
        runCommand(first, 32777, [](QWidget* history) {
            EXPECT_EQ(control<QComboBox>(history, kHistorySizeBoxId)->currentIndex(), 2); // MB at first
            control<QComboBox>(history, kHistorySizeBoxId)->setCurrentIndex(0);
            static_cast<QDialog*>(history)->reject();
        });
    }
    CMainDlg second(options());
    int shown = -1;
    runCommand(second, 32782, [&shown](QWidget* history) {
        shown = control<QComboBox>(history, kHistorySizeBoxId)->currentIndex();
        static_cast<QDialog*>(history)->reject();
    });
    EXPECT_EQ(shown, 0);
}

TEST_F(MainDlgTest, ClosingOptionsUnconfirmedStillAppliesTheSettings)
{
    writeProfiles({makeProfile("Work")});
    CMainDlg window(options());
    control<QComboBox>(&window, 1013)->setCurrentIndex(1);
    ASSERT_EQ(window.trafficMeter().selectedProfile.load(), 1u);
    const QString opened = runCommand(window, 32772, [](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(opened, "OptionsDlg");
    EXPECT_EQ(window.trafficMeter().selectedProfile.load(), 1u);
    EXPECT_EQ(control<QComboBox>(&window, 1013)->currentText(), "Work");
    EXPECT_EQ(text(window, 1034), "KB/s"); // the layout's "KB/sec" gives way to the unit's label
}

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

void choose(CMainDlg& window, const QString& name)
{
    auto* selector = control<QComboBox>(&window, 1013);
    selector->setCurrentIndex(selector->findText(name));
}

} // namespace

// 439,539,840 B/s once read "39539840.00": the label cut the leading digit off. Counted in the
// kernel, the tooltip also names the busiest application of the last minute.
TEST_F(MainDlgTest, AReadoutTooWideForItsControlMovesToALargerUnitAndTheTooltipFollows)
{
    writeProfiles({makeProfile("Work", 1234567890)});
    const DayClock june17([] { return noonOf(2026, 5, 17); }); // makeProfile's day
    MainDlgOptions setup = options();
    setup.dayClock = &june17;
    CountingSource kernelCounts; // said, not opened: the test drives the meter
    kernelCounts.choice.kind = CountingKind::Kernel;
    CMainDlg window(setup, std::move(kernelCounts));
    choose(window, "Work");
    window.displaySettings().unitDivisor = 1;
    window.applyDisplaySettings(1000, 30);
    CTrafficMeter& meter = window.trafficMeter();
    FlowKey fromPeer{*parseIpAddress("192.0.2.1"), *parseIpAddress("203.0.113.5")}; // the system's: cgroup 0
    meter.countFlow(fromPeer, {2500, 40, 1});
    fromPeer.direction = PacketWay::Sent;
    meter.countFlow(fromPeer, {120, 40, 1});

    meter.downloadBytes = 439539840;
    meter.uploadBytes = 2000;
    meter.tick();
    QCoreApplication::processEvents();
    // "439539840.00" is wider than the control; in KB/s it fits (Liberation Sans 8 pt).
    EXPECT_EQ(text(window, 1001), "439539.84");
    EXPECT_EQ(text(window, 1007), "KB/s");
    EXPECT_EQ(text(window, 1002), "2000.00");
    EXPECT_EQ(text(window, 1008), "B/s");
    EXPECT_EQ(window.trayController().tooltipText().toStdString(),
              "Velmora\nDown: 439539.84 KB/s - Up: 2000.00 B/s\nToday: 1.23 GB down, 120 B up\n"
              "This month: 1.23 GB down, 120 B up\nTop: System (2.50 KB down, 120 B up in the last minute)");

    meter.downloadBytes = 123456;
    meter.tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(text(window, 1001), "123456.00");
    EXPECT_EQ(text(window, 1007), "B/s");
}

// The selector chooses among the profiles only; beside it the window says why the profile
// shown counts nothing when its address is gone.
TEST_F(MainDlgTest, AProfileBoundToAnAddressTheMachineLacksSaysSo)
{
    CProfile gone = makeProfile("Gone");
    gone.setIp("203.0.113.9");
    writeProfiles({gone});
    MainDlgOptions setup = options();
    setup.startWorkers = true; // the address watcher knows the machine's addresses
    CMainDlg window(setup);
    EXPECT_FALSE(control<QComboBox>(&window, 1013)->isEditable());
    const auto* notice = control<QLabel>(&window, kCountingNoticeId);
    choose(window, "Gone");
    EXPECT_TRUE(notice->toolTip().contains("Profile Gone: this machine does not hold 203.0.113.9"))
        << notice->toolTip().toStdString();
    EXPECT_FALSE(notice->text().isEmpty());
    choose(window, "Default");
    EXPECT_FALSE(notice->toolTip().contains("203.0.113.9")) << notice->toolTip().toStdString();
}

TEST_F(MainDlgTest, UnitLengthCountedProfileAndPositionAreKeptBetweenRuns)
{
    writeProfiles({makeProfile("Café"), makeProfile("Work")});
    QPoint client;
    {
        CMainDlg first(options());
        EXPECT_EQ(control<QComboBox>(&first, 1013)->currentText(), "Default"); // not the first file
        EXPECT_EQ(text(first, 1007), "KB/s");
        first.displaySettings().unitDivisor = 1000000;
        first.displaySettings().historyLength = 10;
        first.displaySettings().downloadColour = 0xC80000;
        first.applyDisplaySettings(1000, 30);
        choose(first, "Café"); // a name beyond ASCII
        first.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
        first.move(40, 50);
        client = first.geometry().topLeft();
    }
    CMainDlg second(options());
    EXPECT_EQ(control<QComboBox>(&second, 1013)->currentText(), "Café");
    EXPECT_EQ(second.monitorEngine().profiles().profiles[second.trafficMeter().selectedProfile.load()].name, "Café");
    EXPECT_EQ(second.displaySettings().unitDivisor.load(), 1000000u);
    EXPECT_EQ(second.rateHistory().length(), 10u);
    EXPECT_EQ(text(second, 1033), "MB/s");
    EXPECT_EQ(second.geometry().topLeft(), client);
    // The colour chosen fills the graph's download area.
    EXPECT_EQ(second.displaySettings().downloadColour.load(), 0xC80000u);
    second.trafficMeter().downloadBytes = 5e6;
    second.trafficMeter().tick();
    QCoreApplication::processEvents();
    const QColor area = control(&second, 1037)->grab().toImage().pixelColor(365, 75);
    EXPECT_GT(area.red(), 200) << area.name().toStdString();
    EXPECT_LT(area.green(), 160) << area.name().toStdString();
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    EXPECT_EQ(second.pos(), QPoint(40, 50)); // the frame where it was, not moved by its own size
    const QRect screen = second.screen()->availableGeometry();
    second.move(screen.right() - 10, screen.bottom() - 10); // kept from a larger screen
    second.close();
    second.storeSettings();
    CMainDlg third(options());
    EXPECT_TRUE(screen.contains(QRect(third.pos(), third.sizeHint()))) << third.pos().x() << "," << third.pos().y();
}

// The tray tooltip carries the counted profile's quotas, and only those.
TEST_F(MainDlgTest, TheTooltipShowsTheCountedProfilesQuotas)
{
    writeProfiles({makeProfile("Work", 1234567890), makeProfile("Home", 5000)});
    QFile quotas(temp.filePath("quotas.json"));
    ASSERT_TRUE(quotas.open(QIODevice::WriteOnly));
    quotas.write(R"({"quotas": [
        {"profile": "Work", "period": "month", "start_day": 15, "limit_bytes": 2000000000, "warn_percent": 80},
        {"profile": "Work", "period": "day", "direction": "up", "limit_bytes": 1000000},
        {"profile": "Home", "period": "day", "limit_bytes": 10000}]})");
    quotas.close();
    const DayClock june17([] { return noonOf(2026, 5, 17); }); // makeProfile's day
    MainDlgOptions setup = options();
    setup.dayClock = &june17;
    CMainDlg window(setup);
    choose(window, "Work");
    EXPECT_EQ(window.trayController().tooltipText().toStdString(),
              "Velmora\nDown:  - Up: \nToday: 1.23 GB down, 0 B up\n"
              "This month: 1.23 GB down, 0 B up (quota: 28 days left)\n" // 17 Jun to 14 Jul
              "Quota: 1.2 of 2.0 GB, 61%, month from 15 Jun\nQuota: 0.0 of 1.0 MB, 0%, today");
}

// A quotas.json that cannot be read is told once on stderr, as the service tells it; the
// window runs without quotas.
TEST_F(MainDlgTest, ABadQuotaFileIsOneLineOnStderr)
{
    writeProfiles({makeProfile("Work", 1234567890)});
    QFile quotas(temp.filePath("quotas.json"));
    ASSERT_TRUE(quotas.open(QIODevice::WriteOnly));
    quotas.write(R"({"quotas": [{"profile": "Work", "period": "week", "limit_bytes": 1}]})");
    quotas.close();
    testing::internal::CaptureStderr();
    {
        CMainDlg window(options());
        choose(window, "Work");
        EXPECT_EQ(window.trayController().tooltipText().count("Quota"), 0);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("velmora: ", 0), 0u) << err;
    EXPECT_NE(err.find("quotas.json"), std::string::npos) << err;
}
