#pragma once
// The main window's tray icon: created with the window, shown while the window is in the tray
// (or for the whole run where a minimise is never reported), its menu and activation, and the
// status it shows: the last Current rates, today's totals, the busiest application of the last
// minute and any save problem as the tooltip,
// the rates as bars in the picture.

#include "desktop/app/save_notices.h"
#include "desktop/app/tray_icon_painter.h"
#include "desktop/view/tray_tooltip.h"

#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CMonitorEngine;
class DayClock;
class QMenu;
class QSystemTrayIcon;
class QWidget;
class RateHistory;
class X11MinimiseWatch;
struct DisplaySettings;
struct ReadoutText;

// What the tray's status is made from: the window's parts, which outlive the controller.
struct TrayStatusSources {
    const CMonitorEngine& engine;   // the counted profile's totals for today, its applications' rates
    const DayClock& dayClock;       // what "today" is
    const SaveNotices& saveNotices; // the tooltip's line while saving fails
    const RateHistory& history;     // the graph's scale, which the picture's bars share
    const DisplaySettings& display; // the graph's colours, which the bars have too
    // The tooltip's quota lines for the counted profile (quota_watch.h).
    std::function<std::vector<std::string>(const std::string& profile)> quotaLines;
    // The days left of the counted profile's month quota, none without one (quota_watch.h).
    std::function<std::optional<int>(const std::string& profile)> quotaDaysLeft;
};

// The tray menu's commands that are the window's.
struct TrayCommands {
    std::function<void()> openHistory;
    std::function<void()> exit; // after the window has been restored
};

class TrayController : public QObject {
public:
    // A child of `window`, which it hides into the tray when minimised and shows again.
    TrayController(QWidget* window, TrayStatusSources sources, TrayCommands commands);

    // Without a system tray the icon cannot be added and the window simply stays minimised.
    void hideToTray();
    void restoreFromTray();
    // Out of the tray, unminimised, in front.
    void bringForward();
    bool isInTray() const { return inTray; }
    // On platforms that never report a minimise (native Wayland) the icon stays for the run.
    bool isAlwaysShown() const { return alwaysShown; }
    // The end of the run: the icon goes.
    void hideIcon();

    // The last Current readout: `shown` as the labels show it (download, upload), each with
    // its unit; `download` and `upload` in display units for the picture.
    void showRates(const std::array<ReadoutText, 2>& shown, float download, float upload);
    // Both are set on the icon once a second while the window is in the tray.
    QString tooltipText() const;
    // A notification on the icon itself, for a desktop without a notification service.
    void showMessage(const QString& summary, const QString& body);
    QIcon picture() const;

protected:
    // A minimise of the window hides it into the tray.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createIcon();
    void showInFront();
    void updateStatus();

    QWidget* window;
    TrayStatusSources sources;
    TrayCommands commands;
    TrayTooltip rates; // the last Current rates, as the window shows them
    TrayBars bars;     // the same rates in display units, for the icon's picture
    QSystemTrayIcon* tray = nullptr;
    QMenu* popup = nullptr;
    X11MinimiseWatch* x11Watch = nullptr; // xcb only
    bool inTray = false;
    bool alwaysShown = false;
    QRect shownGeometry; // the window's client area when it went to the tray
};
