// The main window's tray icon and its small commands: help, about, history and options.
#include "app/about_dlg.h"
#include "widgets/dialog_builder.h"
#include "app/main_dlg.h"
#include "app/platform_choice.h"
#include "app/manual_window.h"
#include "app/readout_format.h"
#include "app/x11_minimise_watch.h"
#include "res/main_layouts.h"
#include "res/resource_ids.h"
#include "ui/history/history_dlg.h"
#include "ui/options/options_dlg.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QUrl>

void CMainDlg::createTray()
{
    trayPopup = buildPopupMenu(trayMenu(), this);
    tray = new QSystemTrayIcon(applicationIcon(), this);
    tray->setToolTip(QStringLiteral("Velmora"));
    tray->setContextMenu(trayPopup);
    // StatusNotifierItem trays (KDE, GNOME's AppIndicator extension) report a click as Trigger
    // and never as DoubleClick; XEmbed trays report both.
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
            restoreFromTray();
    });
    connect(menuAction(trayPopup, kCmdTrayOpen), &QAction::triggered, this, &CMainDlg::restoreFromTray);
    connect(menuAction(trayPopup, kCmdTrayViewActivity), &QAction::triggered, this, &CMainDlg::openHistory);
    connect(menuAction(trayPopup, kCmdTrayExit), &QAction::triggered, this, [this] {
        restoreFromTray();
        endRun();
    });

    // Where a minimise is never reported, the icon is the one sure way back to the window and
    // to Exit, so it stays for the whole run.
    trayAlwaysShown = !platformReportsMinimise(QGuiApplication::platformName().toStdString()) &&
                      QSystemTrayIcon::isSystemTrayAvailable();
    if (trayAlwaysShown)
        tray->show();
    // KWin minimises by _NET_WM_STATE_HIDDEN alone, which Qt does not report.
    x11Watch = X11MinimiseWatch::create(this, [this] {
        QMetaObject::invokeMethod(this, &CMainDlg::hideToTray, Qt::QueuedConnection);
    });
}

// Without a system tray the icon cannot be added and the window simply stays minimised.
void CMainDlg::hideToTray()
{
    if (inTray || !isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    tray->setToolTip(QStringLiteral("Velmora"));
    tray->show();
    inTray = true;
    hide();
}

void CMainDlg::restoreFromTray()
{
    if (!inTray && !trayAlwaysShown)
        return;
    if (!trayAlwaysShown)
        tray->hide();
    inTray = false;
    if (x11Watch != nullptr)
        x11Watch->clearHiddenBeforeShow();
    showInFront();
}

void CMainDlg::bringForward()
{
    if (inTray)
        restoreFromTray();
    else
        showInFront();
}

void CMainDlg::showInFront()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
}

void CMainDlg::openHelp()
{
    openManual(findHelpDocument(QDir::currentPath(), QStringLiteral(VELMORA_DATA_DIR)));
}

// The desktop opens the manual's file when it can; otherwise (no file beside the program, no
// browser or launcher) the copy built into the program is shown in a window of its own.
void CMainDlg::openManual(const QString& file)
{
    if (!file.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return;
    if (manualWindow == nullptr)
        manualWindow = new ManualWindow(this);
    manualWindow->show();
    manualWindow->raise();
    manualWindow->activateWindow();
}

void CMainDlg::showAbout()
{
    AboutDlg about(this);
    about.exec();
}

void CMainDlg::openHistory()
{
    CHistoryDlg historyDialog(engine.profiles(), this);
    historyDialog.exec();
}

void CMainDlg::openOptions()
{
    const std::uint32_t oldDivisor = settings.unitDivisor.load();
    const std::uint32_t oldLength = settings.historyLength.load();
    {
        OptionsDlg optionsDialog(settings, engine.profiles(), this);
        optionsDialog.exec();
    }
    applyDisplaySettings(oldDivisor, oldLength);
}
