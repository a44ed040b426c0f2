#pragma once
// Where the Activity History chart puts its bars: a download and an upload bar for each day of
// the month (or month of the year) the table shows, or each hour of a day, on a scale in the size unit the window
// shows. Lengths are in logical pixels, put on the device pixel grid of the given ratio, so
// the painter only fills rectangles and a scale factor of 2 gets edges as sharp as 1 does.

#include "profile/day_history.h"

#include <optional>
#include <string>
#include <vector>

namespace chart {

struct Box {
    double x = 0, y = 0, width = 0, height = 0;
    double bottom() const { return y + height; }
};

struct BarPair {
    int index = 0; // the day (1 to 31), the month (0 to 11) or the hour (0 to 24)
    Box download, upload; // no height for a direction without traffic
};

// The scale's top for the largest amount (in the unit): 1, 2 or 5 times a power of ten, at
// least the amount; 1 when there is nothing.
double niceTop(double largest);

enum class Slots { Days, Months, Hours };

struct Period {
    const PeriodSums* sums = nullptr; // rows indexed as the slots are: days from 1, months and hours from 0
    int slotCount = 31;               // days in the month, 12 months, or a day's 23 to 25 hours
    double divisor = 1e6;             // bytes per unit of the scale
    Slots kind = Slots::Days;
};

struct Picture {
    Box plot;                  // where the bars stand: the axis runs along its left and bottom edge
    double top = 1;            // the scale's top, in the unit
    std::vector<BarPair> bars; // the rows of the period, in their order
    // The slots labelled under the plot (1, 5, 10, ... of a month; every month of a year; the
    // hours 0, 6, 12, 18 of a day) and the x of their middles.
    std::vector<std::pair<int, double>> slotLabels;
};

// Room around the plot for the labels, in logical pixels.
struct Margins {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// The chart in an area of width x height with the plot inside the margins; `ratio` is the
// device pixels per logical pixel.
Picture layOut(const Period& period, double width, double height, const Margins& margins, double ratio);

// The slot's index (as the rows count) under the x of a plot laid out for `period`; none
// beside the plot.
std::optional<int> slotAt(const Period& period, const Box& plot, double x);

} // namespace chart
