#pragma once
// What the main window remembers between runs (stored_settings.h) and how it applies it: read
// once at start, written after Options, after the Activity History's size changed and at the
// end of the run.

#include "desktop/app/stored_settings.h"

#include <QString>
#include <optional>
#include <string>

class QWidget;
class ReadoutPanel;
struct DisplaySettings;

class WindowMemory {
public:
    // `file` empty: the desktop's configuration directory.
    explicit WindowMemory(QString file) : settingsFile(std::move(file)) {}

    // Reads the file and applies it: the unit and graph length to `settings` and `panel`, the
    // position to `window` (kept on its screen). Returns what was read.
    StoredSettings restore(QWidget& window, DisplaySettings& settings, ReadoutPanel& panel);
    // Writes the unit and length (once chosen), the counted profile, the history's size unit and
    // the window's position (once it has been on screen).
    void store(const QWidget& window, const DisplaySettings& settings,
               const std::optional<std::string>& countedProfile) const;

    // The unit was set in Options: from now on it is worth remembering.
    void unitChosen() { unitWasChosen = true; }
    std::optional<int> historySizeUnit() const { return historySize; }
    void setHistorySizeUnit(int unit) { historySize = unit; }

private:
    QString settingsFile;
    bool unitWasChosen = false; // stored or set in Options
    std::optional<int> historySize;
};
