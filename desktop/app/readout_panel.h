#pragma once
// The main window's readout panel: the eight readout values with their unit labels, and the
// graph frame drawing the rate history. Values arrive in bytes per period; each is shown in the
// chosen unit, or in the next larger one when its text would not fit its label.

#include "desktop/app/graph_painter.h"
#include "desktop/view/rate_history.h"
#include "desktop/view/readout_format.h"
#include "accounting/readout.h"
#include "desktop/widgets/display_settings.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

class QLabel;
class QWidget;

class ReadoutPanel : public QObject {
public:
    // Finds the labels and the graph frame among `client`'s controls (main_layouts.h).
    explicit ReadoutPanel(QWidget* client);

    // The readout of that kind, in `unitDivisor` where it fits; a Current one also goes into
    // the graph. Returns what the download and upload labels now show.
    std::array<ReadoutText, 2> show(ReadoutKind kind, float downloadBytes, float uploadBytes,
                                    std::uint32_t unitDivisor);
    // What the unit labels say for the chosen unit.
    void setUnitLabels(const QString& text);
    // The graph keeps `length` readouts in the unit of `divisor`, and is repainted.
    void changeGraph(std::uint32_t oldDivisor, std::uint32_t divisor, std::uint32_t oldLength,
                     std::uint32_t length);
    void resizeHistory(std::uint32_t length) { rates.resize(length); }
    // The graph's colours (0xRRGGBB), and it is repainted.
    void setColours(std::uint32_t download, std::uint32_t upload);

    const RateHistory& history() const { return rates; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* client;
    QWidget* graphFrame;
    QLabel* values[4][2] = {}; // by ReadoutKind: download, upload
    QLabel* units[4][2] = {};  // the unit label beside each value
    QString chosenUnitText = kInitialUnitLabel;
    RateHistory rates{DisplaySettings::kDefaultHistoryLength};
    std::uint32_t ratesDivisor = DisplaySettings::kDefaultUnitDivisor; // the unit `rates` is in
    std::uint32_t downloadColour = DisplaySettings::kDefaultDownloadColour;
    std::uint32_t uploadColour = DisplaySettings::kDefaultUploadColour;
    GraphPainter painter;
};
