#pragma once
// The main window: profile selector, the readout panel, the menus and the tray icon. It is a
// view of the engine (monitor/monitor_engine.h), which it holds: construction starts the
// engine, readouts and save outcomes arrive as queued calls, and shutdown() stops it (the
// capture first, then the last save). The readouts and graph are a ReadoutPanel, the tray
// icon a TrayController, the selector a ProfileSelector, the keys WindowKeys, what it
// remembers between runs a WindowMemory; the window wires them to the engine and to its
// commands (main_dlg_commands.cpp).

#include "desktop/app/profile_selector.h"
#include "desktop/app/readout_panel.h"
#include "desktop/app/save_notices.h"
#include "desktop/app/stored_settings.h"
#include "desktop/app/window_memory.h"
#include "desktop/app/tray_controller.h"
#include "desktop/app/quota_watch.h"
#include "monitor/monitor_engine.h"
#include "desktop/widgets/display_settings.h"

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

class QLabel;
class QMenuBar;

// The engine's options, and the window's own.
struct MainDlgOptions : MonitorOptions {
    // Where the unit, graph length, counted profile and window position are kept between
    // runs; empty: the desktop's configuration directory.
    QString settingsFile;
    // --keep-hours: wins over the Options field for this run (MonitorOptions::keepHoursDays is
    // then this, else the stored field).
    std::optional<int> keepHoursGiven;
    // (MonitorOptions::dayClock is also the local date of "today" in the tray tooltip's totals.)
};

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    // `counting` is the packet source opened at start (counting_source.h), which the engine
    // takes over; without one (the default) nothing is counted.
    explicit CMainDlg(MainDlgOptions options = {}, CountingSource counting = {}, QWidget* parent = nullptr);
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
    // The session manager asks for the program's state: a checkpoint, or a logout that may
    // still be cancelled. Saves the profiles and the settings at once; the run goes on. When
    // the session really ends the application's loop is told to quit, and shutdown() follows
    // as after Exit.
    void saveForSession();

    // A second start asked for this window: out of the tray, unminimised, in front.
    void bringForward() { tray->bringForward(); }
    TrayController& trayController() { return *tray; }
    QuotaWatch& quotaWatch() { return *quotas; }

    // Writes the unit, graph length, counted profile and window position (stored_settings.h).
    void storeSettings();

    void openHistory();
    void openApplications();
    void openOptions();
    void openHelp();
    // Opens the manual's file on the desktop, or shows the built-in copy (manual_window.h).
    void openManual(const QString& file);
    QWidget* manual() const;
    void showAbout();

    DisplaySettings& displaySettings() { return settings; }
    CMonitorEngine& monitorEngine() { return engine; }
    CTrafficMeter& trafficMeter() { return engine.meter(); }
    const RateHistory& rateHistory() const { return panel->history(); }

private:
    void buildWindow();
    void connectEvents();
    void reportSave(const SaveOutcome& outcome);
    void showCountingNotices();
    void endRun();

    MainDlgOptions options;
    DisplaySettings settings;
    QMenuBar* menuBar = nullptr;
    ProfileSelector* profiles = nullptr;
    ReadoutPanel* panel = nullptr;
    QLabel* countingNotice = nullptr;
    TrayController* tray = nullptr;
    QuotaWatch* quotas = nullptr;
    WindowMemory memory;
    SaveNotices saveNotices;
    bool shutDown = false;
    bool lostAtExit = false;
    CMonitorEngine engine; // last: its threads may call into the members above until it stops
};
