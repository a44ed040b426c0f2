#pragma once
// The Activity History chart: the rows the table shows (or a day's hours) as bars, download and
// upload side by side in the window's colours, on a scale in the chosen size unit. A click on
// the plot tells the slot under it. Painted with QPainter from
// the geometry of desktop/view/history_chart_geometry.h, on the device pixels of the screen.
// A screen reader reads its name (what it shows) and description (a line per bar, as the
// table's rows say it).

#include "desktop/view/history_chart_geometry.h"
#include "desktop/widgets/display_settings.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class HistoryChart : public QWidget {
    Q_OBJECT
public:
    explicit HistoryChart(QWidget* parent = nullptr);

    // `title` names the period ("May 2026"; empty: no period recorded), `unit` the size unit's
    // symbol ("MB").
    void showPeriod(const PeriodSums& sums, int slotCount, chart::Slots kind, double divisor, const std::string& unit,
                    const std::string& title);
    // Called with the day (month, hour) clicked.
    std::function<void(int index)> onSlotClicked;
    void setColours(std::uint32_t download, std::uint32_t upload);

    // Where the last paint put the plot, in logical pixels.
    const chart::Box& plot() const { return lastPlot; }
    // Paints the chart as it is now on `painter`'s device, an area of `size` logical pixels.
    void paint(QPainter& painter, QSizeF size) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    PeriodSums sums;
    int periodSlots = 31; // days of the month, 12 months, or a day's hours
    chart::Slots slotKind = chart::Slots::Days;
    mutable chart::Box lastPlot; // where the last paint put the plot, for clicks
    double divisor = 1e6;
    std::string unit = "MB";
    std::string periodTitle;
    std::uint32_t downloadColour = DisplaySettings::kDefaultDownloadColour;
    std::uint32_t uploadColour = DisplaySettings::kDefaultUploadColour;
};
