#pragma once
// The main window: profile selector, eight readouts, the traffic graph, the menus and the tray
// icon. It is a view of the engine (monitor/monitor_engine.h), which it holds: construction
// starts the engine, readouts and save outcomes arrive as queued calls, and shutdown() stops
// it (the capture first, then the last save).

#include "app/readout_format.h"
#include "widgets/display_settings.h"
#include "app/graph_painter.h"
#include "app/rate_history.h"
#include "app/save_notices.h"
#include "app/stored_settings.h"
#include "app/tray_icon_painter.h"
#include "app/tray_tooltip.h"
#include "monitor/monitor_engine.h"

#include <QDialog>
#include <QString>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QIcon;
class QLabel;
class QMenu;
class QMenuBar;
class QSystemTrayIcon;
class X11MinimiseWatch;

struct MainDlgOptions {
    // Where the profile files live; relative paths are taken from the current directory.
    std::filesystem::path profileDirectory = "profiles";
    // Without workers no meter thread and no capture run; readouts come only from tick().
    bool startWorkers = true;
    // How often every profile is written while the program runs.
    std::chrono::milliseconds saveInterval = std::chrono::minutes(1);
    // How long the save at exit is retried before the program gives up on it.
    std::chrono::milliseconds exitSavePatience = std::chrono::seconds(5);
    // Where the unit, graph length, counted profile and window position are kept between
    // runs; empty: the desktop's configuration directory.
    QString settingsFile;
    // The local date of "today" in the tray tooltip's totals.
    const DayClock* dayClock = &DayClock::system();
};

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    // `captureSocket` is the packet socket opened at start (capture_socket.h), which the
    // engine's capture takes over; without one (the default) the capture stays off.
    explicit CMainDlg(MainDlgOptions options = {}, CaptureSocket captureSocket = {}, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Readout handling on the GUI thread: texts, history, graph repaint, tooltip.
    void showReadout(ReadoutKind kind, float download, float upload);
    // After the Options dialog: unit labels, history length and unit, selector refilled; the
    // counted profile stays when it still exists, else "Default" is counted.
    void applyDisplaySettings(std::uint32_t oldDivisor, std::uint32_t oldLength);

    // Saves every profile now (CMonitorEngine::save); a failure is reported (saveNotices) and
    // the totals stay in memory for the next save.
    bool saveProfiles();
    // Stores the settings and stops the engine: the capture first, then the last save (retried
    // for exitSavePatience). Idempotent.
    void shutdown();
    // After shutdown: the last save failed, and the counting since the last good one is lost.
    bool exitSaveFailed() const { return lostAtExit; }
    // The desktop session ends: save at once, then end the run like Exit.
    void endSession();

    void hideToTray();
    void restoreFromTray();
    // A second start asked for this window: out of the tray, unminimised, in front.
    void bringForward();
    bool isInTray() const { return inTray; }
    // On platforms that never report a minimise (native Wayland) the icon stays for the run.
    bool isTrayAlwaysShown() const { return trayAlwaysShown; }
    // The tray icon's tooltip and picture from the last Current readout; both are set on
    // the icon once a second while the window is in the tray.
    QString trayTooltipText() const;
    QIcon trayIconPicture() const;

    // Writes the unit, graph length, counted profile and window position (stored_settings.h).
    void storeSettings();

    void openHistory();
    void openOptions();
    void openHelp();
    // Opens the manual's file on the desktop, or shows the built-in copy (manual_window.h).
    void openManual(const QString& file);
    QWidget* manual() const { return manualWindow; }
    void showAbout();

    DisplaySettings& displaySettings() { return settings; }
    CMonitorEngine& monitor() { return engine; }
    SharedProfiles& sharedProfiles() { return engine.profiles(); }
    CTrafficMeter& trafficMeter() { return engine.meter(); }
    const RateHistory& rateHistory() const { return history; }
    const GraphPainter& graphPainter() const { return painter; }
    QSystemTrayIcon* trayIcon() const { return tray; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void connectEvents();
    void fillProfileSelector();
    void selectProfile(int index);
    MonitorOptions monitorOptions() const;
    void reportSave(const SaveOutcome& outcome);
    void setUnitLabels(const QString& text);
    void setReadoutTexts(ReadoutKind kind, float download, float upload);
    void updateTrayStatus();
    StoredSettings restoreSettings();
    void selectProfileNamed(const std::optional<std::string>& name);
    std::optional<std::string> selectedProfileName() const;
    void createTray();
    void connectKeyboard();
    void showInFront();
    void endRun();

    MainDlgOptions options;
    DisplaySettings settings;
    RateHistory history{DisplaySettings::kDefaultHistoryLength};
    GraphPainter painter;
    QWidget* client = nullptr;
    QMenuBar* menuBar = nullptr;
    QComboBox* profileSelector = nullptr;
    QWidget* graphFrame = nullptr;
    QLabel* readoutValues[4][2] = {}; // by ReadoutKind: download, upload
    QLabel* readoutUnits[4][2] = {};  // the unit label beside each value
    QString chosenUnitText = kInitialUnitLabel; // what the unit labels say for the chosen unit
    bool unitChosen = false; // the unit was stored or set in Options: worth remembering
    TrayTooltip trayStatus;  // the last Current rates, as the window shows them
    TrayBars trayBars;       // the same rates in display units, for the icon's picture
    QSystemTrayIcon* tray = nullptr;
    QMenu* trayPopup = nullptr;
    QWidget* manualWindow = nullptr;
    X11MinimiseWatch* x11Watch = nullptr; // xcb only
    SaveNotices saveNotices;
    bool inTray = false;
    bool trayAlwaysShown = false;
    bool shutDown = false;
    bool lostAtExit = false;
    CMonitorEngine engine; // last: its threads may call into the members above until it stops
};
