// The main window's remembered settings: read once at start, written after Options and at the
// end of the run.
#include "app/main_dlg.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <algorithm>
#include <memory>

StoredSettings CMainDlg::restoreSettings()
{
    const std::unique_ptr<QSettings> file = openSettings(options.settingsFile);
    const StoredSettings stored = readStoredSettings(*file);
    if (stored.unitDivisor) {
        settings.unitDivisor = *stored.unitDivisor;
        panel->setUnitLabels(QString::fromStdString(unitLabel(*stored.unitDivisor)));
        const std::uint32_t length = settings.historyLength.load();
        panel->changeGraph(DisplaySettings::kDefaultUnitDivisor, *stored.unitDivisor, length, length);
        unitChosen = true;
    }
    if (stored.historyLength) {
        settings.historyLength = *stored.historyLength;
        panel->resizeHistory(*stored.historyLength);
    }
    // A position on a screen that is gone would put the window out of reach; one kept from a
    // larger screen or a smaller scale would leave part of it off this one.
    // The position is the client area's, stored and restored alike: before the first show the
    // window manager's frame is unknown, so a frame position (move(), pos()) would be taken
    // for the client's at the start and the window would creep by the frame at every run.
    if (stored.windowPosition)
        if (const QScreen* screen = QGuiApplication::screenAt(*stored.windowPosition)) {
            const QRect area = screen->availableGeometry();
            const QSize size = sizeHint();
            const QPoint clientTopLeft(
                std::clamp(stored.windowPosition->x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())),
                std::clamp(stored.windowPosition->y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
            setGeometry(QRect(clientTopLeft, size));
        }
    historySizeUnit = stored.historySizeUnit;
    return stored;
}

void CMainDlg::storeSettings()
{
    StoredSettings values;
    // Until the unit was chosen the window shows the layout's own labels; storing the default
    // would change them at the next start.
    if (unitChosen) {
        values.unitDivisor = settings.unitDivisor.load();
        values.historyLength = settings.historyLength.load();
    }
    values.selectedProfile = profiles->selectedName();
    values.historySizeUnit = historySizeUnit;
    // Only a window that has been on screen has a position of its own.
    if (windowHandle() != nullptr)
        values.windowPosition = geometry().topLeft();
    const std::unique_ptr<QSettings> file = openSettings(options.settingsFile);
    writeStoredSettings(*file, values);
}
