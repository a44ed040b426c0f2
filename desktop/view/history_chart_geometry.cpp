#include "desktop/view/history_chart_geometry.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {

// To the nearest device pixel.
double snapped(double logical, double ratio)
{
    return std::round(logical * ratio) / ratio;
}

} // namespace

double niceTop(double largest)
{
    if (!(largest > 0) || !std::isfinite(largest))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(largest)));
    for (double step : {1.0, 2.0, 5.0, 10.0})
        if (step * power >= largest)
            return step * power;
    return 10 * power;
}

Picture layOut(const Period& period, double width, double height, const Margins& margins, double ratio)
{
    Picture picture;
    ratio = ratio > 0 ? ratio : 1;
    const double left = snapped(margins.left, ratio);
    const double top = snapped(margins.top, ratio);
    picture.plot = {left, top, snapped(std::max(0.0, width - left - margins.right), ratio),
                    snapped(std::max(0.0, height - top - margins.bottom), ratio)};
    const int slots = std::max(1, period.slotCount);
    const int first = period.kind == Slots::Days ? 1 : 0;
    double largest = 0;
    if (period.sums != nullptr)
        for (const PeriodRow& row : period.sums->rows)
            largest = std::max({largest, row.down / period.divisor, row.up / period.divisor});
    picture.top = niceTop(largest);

    const Box& plot = picture.plot;
    const double slot = plot.width / slots;
    const double pixel = 1 / ratio;
    // A bar's height on the scale; whatever has traffic shows at least one device pixel.
    auto bar = [&](double x, double barWidth, double bytes) {
        if (!(bytes > 0))
            return Box{x, plot.bottom(), barWidth, 0};
        const double length = std::max(pixel, snapped(std::min(1.0, bytes / period.divisor / picture.top) * plot.height, ratio));
        return Box{x, plot.bottom() - length, barWidth, length};
    };
    if (period.sums != nullptr) {
        for (const PeriodRow& row : period.sums->rows) {
            const int position = row.index - first;
            if (position < 0 || position >= slots)
                continue;
            // A fifth of the slot free on each side, the rest split between the two bars.
            const double start = snapped(plot.x + slot * position + slot / 5, ratio);
            const double middle = snapped(plot.x + slot * position + slot / 2, ratio);
            const double end = std::max(middle + pixel, snapped(plot.x + slot * (position + 1) - slot / 5, ratio));
            const double left = std::min(start, middle - pixel);
            picture.bars.push_back({row.index, bar(left, middle - left, row.down), bar(middle, end - middle, row.up)});
        }
    }
    for (int position = 0; position < slots; ++position) {
        const int index = position + first;
        const bool labelled = period.kind == Slots::Months   ? true
                              : period.kind == Slots::Hours ? index % 6 == 0
                                                             : index == 1 || index % 5 == 0;
        if (labelled)
            picture.slotLabels.emplace_back(index, plot.x + slot * (position + 0.5));
    }
    return picture;
}

std::optional<int> slotAt(const Period& period, const Box& plot, double x)
{
    const int slots = std::max(1, period.slotCount);
    if (!(plot.width > 0) || x < plot.x || x >= plot.x + plot.width)
        return std::nullopt;
    const int position = std::min(slots - 1, int((x - plot.x) / (plot.width / slots)));
    return position + (period.kind == Slots::Days ? 1 : 0);
}

} // namespace chart
