#pragma once
// The main window: profile selector, the readout panel, the menus and the tray icon. It is a
// view of the engine (monitor/monitor_engine.h), which it holds: construction starts the
// engine, readouts and save outcomes arrive as queued calls, and shutdown() stops it (the
// capture first, then the last save). The readouts and graph are a ReadoutPanel, the tray
// icon a TrayController; the window wires them to the engine and the commands.

#include "app/readout_panel.h"
#include "app/save_notices.h"
#include "app/stored_settings.h"
#include "app/tray_controller.h"
#include "monitor/monitor_engine.h"
#include "widgets/display_settings.h"

#include <QDialog>
#include <QString>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

class QComboBox;
class QMenuBar;

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
    bool saveProfiles() { return engine.save().saved; }
    // Stores the settings and stops the engine: the capture first, then the last save (retried
    // for exitSavePatience). Idempotent.
    void shutdown();
    // After shutdown: the last save failed, and the counting since the last good one is lost.
    bool exitSaveFailed() const { return lostAtExit; }
    // The desktop session ends: save at once, then end the run like Exit.
    void endSession();

    // The tray icon (tray_controller.h).
    void hideToTray() { tray->hideToTray(); }
    void restoreFromTray() { tray->restoreFromTray(); }
    // A second start asked for this window: out of the tray, unminimised, in front.
    void bringForward() { tray->bringForward(); }
    bool isInTray() const { return tray->isInTray(); }
    bool isTrayAlwaysShown() const { return tray->isAlwaysShown(); }
    QString trayTooltipText() const { return tray->tooltipText(); }
    QIcon trayIconPicture() const { return tray->picture(); }
    QSystemTrayIcon* trayIcon() const { return tray->icon(); }

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
    const RateHistory& rateHistory() const { return panel->history(); }
    const GraphPainter& graphPainter() const { return panel->graphPainter(); }

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
    StoredSettings restoreSettings();
    void selectProfileNamed(const std::optional<std::string>& name);
    std::optional<std::string> selectedProfileName() const;
    void connectKeyboard();
    void endRun();

    MainDlgOptions options;
    DisplaySettings settings;
    QMenuBar* menuBar = nullptr;
    QComboBox* profileSelector = nullptr;
    ReadoutPanel* panel = nullptr;
    TrayController* tray = nullptr;
    bool unitChosen = false; // the unit was stored or set in Options: worth remembering
    QWidget* manualWindow = nullptr;
    SaveNotices saveNotices;
    bool shutDown = false;
    bool lostAtExit = false;
    CMonitorEngine engine; // last: its threads may call into the members above until it stops
};
