// What the tray icon shows while the window is in the tray (or while the icon stays shown
// for the whole run): its tooltip and its picture.
// Creating, showing and hiding the icon is the window's tray handling (main_dlg_commands.cpp).
#include "app/main_dlg.h"

#include "app/graph_geometry.h"
#include "app/tray_icon_painter.h"

#include <QSystemTrayIcon>
#include <shared_mutex>

QString CMainDlg::trayTooltipText() const
{
    TrayTooltip tooltip = trayStatus;
    const auto index = engine.selectedProfile();
    {
        const SharedProfiles& shared = engine.profiles();
        std::shared_lock lock(shared.guard);
        if (index < shared.profiles.size())
            tooltip.today = dayTotals(shared.profiles[index], options.dayClock->today());
    }
    if (const QString problem = saveNotices.tooltipLine(); !problem.isEmpty())
        tooltip.notices.push_back(problem.toStdString());
    return QString::fromStdString(::trayTooltipText(tooltip));
}

QIcon CMainDlg::trayIconPicture() const
{
    TrayBars bars = trayBars;
    bars.top = graph::scaleTop(history.maxDownload, history.maxUpload);
    return TrayIconPainter::icon(bars);
}

void CMainDlg::updateTrayStatus()
{
    if ((!inTray && !trayAlwaysShown) || tray == nullptr)
        return;
    tray->setToolTip(trayTooltipText());
    tray->setIcon(trayIconPicture());
}
