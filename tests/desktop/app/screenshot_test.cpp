// Pictures of the main window at about 440 MB/s while the unit is B/s, and of the tray icon.
// scripts/screenshot-readouts runs this at scale factors 1 and 2 and keeps them in docs/.
#include "desktop/widgets/dialog_builder.h"
#include "desktop/app/main_dlg.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

TEST(Screenshots, MainWindowAtAFastRateAndTheTrayIcon)
{
    QTemporaryDir scratch;
    const QDir folder(qEnvironmentVariable("VELMORA_SCREENSHOT_DIR", scratch.path()));
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1");
    MainDlgOptions options;
    options.profileDirectory = std::filesystem::path(scratch.path().toStdString()) / "profiles";
    options.startWorkers = false;
    options.settingsFile = scratch.filePath("velmora.conf");
    CMainDlg window(options);
    window.displaySettings().unitDivisor = 1;
    window.applyDisplaySettings(1000, 30);
    CTrafficMeter& meter = window.trafficMeter();
    for (int second = 0; second <= 30; ++second) {
        meter.downloadBytes = second == 30 ? 439539840 : float(300e6 + 140e6 * std::sin(second / 4.0));
        meter.uploadBytes = float(40e6 + 25e6 * std::cos(second / 3.0));
        meter.downloadOverhead = meter.downloadBytes / 1500 * 40;
        meter.uploadOverhead = meter.uploadBytes / 1500 * 40;
        meter.tick();
    }
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    EXPECT_NE(control<QLabel>(&window, 1007)->text(), "B/s");
    EXPECT_TRUE(window.grab().save(folder.filePath("readouts-" + scale + "x.png")));
    EXPECT_TRUE(window.trayController().picture().pixmap(64).save(folder.filePath("tray-icon.png")));
}
