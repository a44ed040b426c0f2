#pragma once
// What the window remembers between runs: the unit, the graph length and colours, the counted
// profile, the window's position and the Activity History's size unit. Kept with QSettings in the desktop's
// configuration directory ($XDG_CONFIG_HOME/velmora/velmora.conf), never in the profile files.
// A value that is missing or not one the Options dialog could have set reads as absent, so the
// window starts with its defaults for it, as on the first run.

#include <QPoint>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QSettings;

struct StoredSettings {
    std::optional<std::uint32_t> unitDivisor;   // 1, 1000, 1000000 or 1000000000
    std::optional<std::uint32_t> historyLength; // 0 to 60 in steps of 10
    std::optional<std::string> selectedProfile; // the name's own bytes
    std::optional<QPoint> windowPosition;       // top-left of the client area, in screen coordinates
    std::optional<int> historySizeUnit;         // the Activity History's Size box: 0 to 3
    std::optional<std::uint32_t> downloadColour; // the graph's colours, 0xRRGGBB ("#rrggbb" in the file)
    std::optional<std::uint32_t> uploadColour;
    std::optional<int> keepHoursDays;            // days of hours the usage database keeps: 1 to 999999
    bool operator==(const StoredSettings&) const = default;
};

// The file given, or the desktop's configuration directory when `file` is empty.
std::unique_ptr<QSettings> openSettings(const QString& file);
StoredSettings readStoredSettings(QSettings& settings);
// Writes the values present and removes the absent ones.
void writeStoredSettings(QSettings& settings, const StoredSettings& values);

// The entry to count at start and after Options: the wanted name, else "Default", else the
// first entry; -1 for an empty list. The list keeps its own order either way.
int chooseProfileIndex(const std::vector<std::string>& names, const std::optional<std::string>& wanted);
