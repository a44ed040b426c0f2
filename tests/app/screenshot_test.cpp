// Pictures of the main window at about 440 MB/s shown in B/s, and of the tray icon.
// scripts/screenshot-readouts runs this at scale factors 1 and 2 and keeps the pictures in
// docs/; otherwise they go to a temporary folder and are only checked for being drawn.
#include "widgets/dialog_builder.h"
#include "app/main_dlg.h"
#include "app/tray_icon_painter.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

QString pictureName(const char* stem)
{
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1");
    return QStringLiteral("%1-%2x.png").arg(QString::fromLatin1(stem), scale);
}

void save(const QImage& image, const QString& folder, const QString& name)
{
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    EXPECT_TRUE(image.save(QDir(folder).filePath(name))) << name.toStdString();
}

} // namespace

TEST(Screenshots, MainWindowAtAFastRateAndTheTrayIcon)
{
    QTemporaryDir scratch;
    const QString folder = qEnvironmentVariableIsSet("VELMORA_SCREENSHOT_DIR")
                               ? qEnvironmentVariable("VELMORA_SCREENSHOT_DIR")
                               : scratch.path();
    MainDlgOptions options;
    options.profileDirectory = std::filesystem::path(scratch.path().toStdString()) / "profiles";
    options.startWorkers = false;
    options.settingsFile = scratch.filePath("velmora.conf");
    CMainDlg window(options);
    window.displaySettings().unitDivisor = 1;
    window.applyDisplaySettings(1000, 30);
    CTrafficMeter& meter = window.trafficMeter();
    for (int second = 0; second < 30; ++second) {
        meter.downloadBytes = float(300e6 + 140e6 * std::sin(second / 4.0));
        meter.uploadBytes = float(40e6 + 25e6 * std::cos(second / 3.0));
        meter.downloadOverhead = meter.downloadBytes / 1500 * 40;
        meter.uploadOverhead = meter.uploadBytes / 1500 * 40;
        meter.tick();
    }
    meter.downloadBytes = 439539840;
    meter.uploadBytes = 52000000;
    meter.downloadOverhead = 439539840.0f / 1500 * 40;
    meter.uploadOverhead = 52000000.0f / 1500 * 40;
    meter.tick();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    EXPECT_NE(control<QLabel>(&window, 1007)->text(), "B/s");
    save(window.grab().toImage(), folder, pictureName("readouts"));

    // The icon at a tray's usual size and enlarged, on a dark and a light panel.
    const QImage small = TrayIconPainter::paint({300, 120, 440}, 22);
    QImage panel(4 * 22 + 2 * 88, 88, QImage::Format_ARGB32);
    QPainter painter(&panel);
    painter.fillRect(0, 0, panel.width() / 2, 88, QColor(40, 40, 40));
    painter.fillRect(panel.width() / 2, 0, panel.width() / 2, 88, QColor(235, 235, 235));
    for (int half = 0; half < 2; ++half) {
        const int left = half * panel.width() / 2;
        painter.drawImage(left + 11, 33, small);
        painter.drawImage(QRect(left + 44, 0, 88, 88), small);
    }
    painter.end();
    save(panel, folder, QStringLiteral("tray-icon.png"));
}
