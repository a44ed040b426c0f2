#include "desktop/app/tray_controller.h"

#include "profile/day_history.h"
#include "desktop/view/graph_geometry.h"
#include "desktop/platform/platform_choice.h"
#include "desktop/view/rate_history.h"
#include "desktop/platform/x11_minimise_watch.h"
#include "monitor/monitor_engine.h"
#include "desktop/widgets/layouts/main_layouts.h"
#include "desktop/widgets/layouts/resource_ids.h"
#include "desktop/widgets/dialog_builder.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <shared_mutex>

TrayController::TrayController(QWidget* window, TrayStatusSources sources, TrayCommands commands)
    : QObject(window), window(window), sources(sources), commands(std::move(commands))
{
    createIcon();
    // Where a minimise is never reported, the icon is the one sure way back to the window and
    // to Exit, so it stays for the whole run.
    alwaysShown = !platformReportsMinimise(QGuiApplication::platformName().toStdString()) &&
                  QSystemTrayIcon::isSystemTrayAvailable();
    if (alwaysShown)
        tray->show();
    window->installEventFilter(this);
    // KWin minimises by _NET_WM_STATE_HIDDEN alone, which Qt does not report.
    x11Watch = X11MinimiseWatch::create(window, [this] {
        QMetaObject::invokeMethod(this, &TrayController::hideToTray, Qt::QueuedConnection);
    });
}

// The menu and the icon belong to the window, where its commands are found.
void TrayController::createIcon()
{
    popup = buildPopupMenu(trayMenu(), window);
    tray = new QSystemTrayIcon(applicationIcon(), window);
    tray->setToolTip(QStringLiteral("Velmora"));
    tray->setContextMenu(popup);
    // StatusNotifierItem trays (KDE, GNOME's AppIndicator extension) report a click as Trigger
    // and never as DoubleClick; XEmbed trays report both.
    connect(tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
            restoreFromTray();
    });
    connect(menuAction(popup, kCmdTrayOpen), &QAction::triggered, this, &TrayController::restoreFromTray);
    connect(menuAction(popup, kCmdTrayViewActivity), &QAction::triggered, this, [this] { commands.openHistory(); });
    connect(menuAction(popup, kCmdTrayExit), &QAction::triggered, this, [this] {
        restoreFromTray();
        commands.exit();
    });
}

bool TrayController::eventFilter(QObject* watched, QEvent* event)
{
    // Queued: the window system finishes its own minimise handling first, and a restore in
    // between cancels the hide.
    if (watched == window && event->type() == QEvent::WindowStateChange && window->isMinimized() && !inTray)
        QMetaObject::invokeMethod(this, [this] {
            if (window->isMinimized())
                hideToTray();
        }, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

void TrayController::hideToTray()
{
    if (inTray || !window->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    tray->setToolTip(QStringLiteral("Velmora"));
    tray->show();
    inTray = true;
    shownGeometry = window->geometry();
    window->hide();
}

void TrayController::restoreFromTray()
{
    if (!inTray && !alwaysShown)
        return;
    if (!alwaysShown)
        tray->hide();
    inTray = false;
    if (x11Watch != nullptr)
        x11Watch->clearHiddenBeforeShow();
    // Where it was: the client area's place, set again before the window is mapped anew. Left
    // to itself the window system may place the frame's corner there and move the window by
    // the frame's size.
    if (!window->isVisible() && shownGeometry.isValid())
        window->setGeometry(shownGeometry);
    showInFront();
}

void TrayController::bringForward()
{
    if (inTray)
        restoreFromTray();
    else
        showInFront();
}

void TrayController::showInFront()
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->showNormal();
    window->raise();
    window->activateWindow();
}

void TrayController::hideIcon()
{
    tray->hide();
}

void TrayController::showRates(const std::array<ReadoutText, 2>& shown, float download, float upload)
{
    rates.download = shown[0];
    rates.upload = shown[1];
    bars.download = download;
    bars.upload = upload;
    updateStatus();
}

QString TrayController::tooltipText() const
{
    TrayTooltip tooltip = rates;
    const std::string counted = sources.engine.selectedProfileName();
    const LocalDate today = sources.dayClock.today();
    tooltip.today = sources.engine.profileSource().dayTotals(counted, today);
    if (const std::optional<CProfile> profile = sources.engine.profileSource().profileCopy(counted)) {
        const PeriodSums month = periodSums(*profile, today.year, today.month);
        tooltip.month = DayTotals{month.down, month.up};
    }
    // Only the kernel tells the programs apart: counted with the ring, everything is System.
    if (sources.engine.countingChoice().kind == CountingKind::Kernel) {
        const std::vector<ApplicationRate> busiest = sources.engine.applicationRates(counted);
        if (!busiest.empty() && busiest.front().minuteDown + busiest.front().minuteUp > 0)
            tooltip.top = TrayTooltip::TopApplication{busiest.front().name, double(busiest.front().minuteDown),
                                                      double(busiest.front().minuteUp)};
    }
    if (sources.quotaDaysLeft)
        tooltip.quotaDaysLeft = sources.quotaDaysLeft(counted);
    if (sources.quotaLines)
        for (std::string& line : sources.quotaLines(counted))
            tooltip.notices.push_back(std::move(line));
    if (const QString problem = sources.saveNotices.tooltipLine(); !problem.isEmpty())
        tooltip.notices.push_back(problem.toStdString());
    for (const std::string& notice : sources.engine.countingNotices())
        tooltip.notices.push_back(notice);
    return QString::fromStdString(::trayTooltipText(tooltip));
}

void TrayController::showMessage(const QString& summary, const QString& body)
{
    tray->showMessage(summary, body, QSystemTrayIcon::Warning);
}

QIcon TrayController::picture() const
{
    TrayBars scaled = bars;
    scaled.top = graph::scaleTop(sources.history.maxDownload, sources.history.maxUpload);
    scaled.downloadColour = sources.display.downloadColour.load();
    scaled.uploadColour = sources.display.uploadColour.load();
    return TrayIconPainter::icon(scaled);
}

void TrayController::updateStatus()
{
    if (!inTray && !alwaysShown)
        return;
    tray->setToolTip(tooltipText());
    tray->setIcon(picture());
}
