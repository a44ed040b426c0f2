// The main window's tray icon and its small commands: help, about, history and options.
#include "app/about_dlg.h"
#include "widgets/dialog_builder.h"
#include "app/main_dlg.h"
#include "app/manual_window.h"
#include "app/readout_format.h"
#include "res/main_layouts.h"
#include "res/resource_ids.h"
#include "ui/history/history_dlg.h"
#include "ui/options/options_dlg.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QUrl>

void CMainDlg::createTray()
{
    trayPopup = buildPopupMenu(trayMenu(), this);
    tray = new QSystemTrayIcon(applicationIcon(), this);
    tray->setToolTip(QStringLiteral("Velmora"));
    tray->setContextMenu(trayPopup);
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            restoreFromTray();
    });
    connect(menuAction(trayPopup, kCmdTrayOpen), &QAction::triggered, this, &CMainDlg::restoreFromTray);
    connect(menuAction(trayPopup, kCmdTrayViewActivity), &QAction::triggered, this, &CMainDlg::openHistory);
    connect(menuAction(trayPopup, kCmdTrayExit), &QAction::triggered, this, [this] {
        restoreFromTray();
        endRun();
    });
}

// Without a system tray the icon cannot be added and the window simply stays minimised.
void CMainDlg::hideToTray()
{
    if (inTray || !isMinimized() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    tray->setToolTip(QStringLiteral("Velmora"));
    tray->show();
    inTray = true;
    hide();
}

void CMainDlg::restoreFromTray()
{
    if (!inTray)
        return;
    tray->hide();
    inTray = false;
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
