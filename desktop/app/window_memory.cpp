#include "desktop/app/window_memory.h"

#include "desktop/app/readout_panel.h"
#include "desktop/widgets/display_settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>
#include <memory>

StoredSettings WindowMemory::restore(QWidget& window, DisplaySettings& settings, ReadoutPanel& panel)
{
    const std::unique_ptr<QSettings> file = openSettings(settingsFile);
    const StoredSettings stored = readStoredSettings(*file);
    if (stored.unitDivisor) {
        settings.unitDivisor = *stored.unitDivisor;
        panel.setUnitLabels(QString::fromStdString(unitLabel(*stored.unitDivisor)));
        const std::uint32_t length = settings.historyLength.load();
        panel.changeGraph(DisplaySettings::kDefaultUnitDivisor, *stored.unitDivisor, length, length);
        unitWasChosen = true;
    }
    if (stored.historyLength) {
        settings.historyLength = *stored.historyLength;
        panel.resizeHistory(*stored.historyLength);
    }
    settings.downloadColour = stored.downloadColour.value_or(DisplaySettings::kDefaultDownloadColour);
    settings.uploadColour = stored.uploadColour.value_or(DisplaySettings::kDefaultUploadColour);
    panel.setColours(settings.downloadColour, settings.uploadColour);
    settings.keepHoursDays = stored.keepHoursDays.value_or(DisplaySettings::kDefaultKeepHoursDays);
    // A position on a screen that is gone would put the window out of reach; one kept from a
    // larger screen or a smaller scale would leave part of it off this one.
    // The position is the client area's, stored and restored alike: before the first show the
    // window manager's frame is unknown, so a frame position (move(), pos()) would be taken
    // for the client's at the start and the window would creep by the frame at every run.
    if (stored.windowPosition)
        if (const QScreen* screen = QGuiApplication::screenAt(*stored.windowPosition)) {
            const QRect area = screen->availableGeometry();
            const QSize size = window.sizeHint();
            const QPoint clientTopLeft(
                std::clamp(stored.windowPosition->x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())),
                std::clamp(stored.windowPosition->y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
            window.setGeometry(QRect(clientTopLeft, size));
        }
    historySize = stored.historySizeUnit;
    return stored;
}

void WindowMemory::store(const QWidget& window, const DisplaySettings& settings,
                         const std::optional<std::string>& countedProfile) const
{
    StoredSettings values;
    // Until the unit was chosen the window shows the layout's own labels; storing the default
    // would change them at the next start.
    if (unitWasChosen) {
        values.unitDivisor = settings.unitDivisor.load();
        values.historyLength = settings.historyLength.load();
        values.downloadColour = settings.downloadColour.load();
        values.uploadColour = settings.uploadColour.load();
    }
    values.keepHoursDays = settings.keepHoursDays.load();
    values.selectedProfile = countedProfile;
    values.historySizeUnit = historySize;
    // Only a window that has been on screen has a position of its own.
    if (window.windowHandle() != nullptr)
        values.windowPosition = window.geometry().topLeft();
    const std::unique_ptr<QSettings> file = openSettings(settingsFile);
    writeStoredSettings(*file, values);
}
