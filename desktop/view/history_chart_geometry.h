#pragma once
// Where the Activity History chart puts its bars: a download and an upload bar for each day of
// the month (or month of the year) the table shows, on a scale in the size unit the window
// shows. Lengths are in logical pixels, put on the device pixel grid of the given ratio, so
// the painter only fills rectangles and a scale factor of 2 gets edges as sharp as 1 does.

#include "profile/day_history.h"

#include <string>
#include <vector>

namespace chart {

struct Box {
    double x = 0, y = 0, width = 0, height = 0;
    double bottom() const { return y + height; }
};

struct BarPair {
    int index = 0; // the day (1 to 31) or the month (0 to 11)
    Box download, upload; // no height for a direction without traffic
};

// The scale's top for the largest amount (in the unit): 1, 2 or 5 times a power of ten, at
// least the amount; 1 when there is nothing.
double niceTop(double largest);

struct Period {
    const PeriodSums* sums = nullptr;
    int slotCount = 31;   // days in the month, or 12 for the months of a year
    double divisor = 1e6; // bytes per unit of the scale
};

struct Picture {
    Box plot;                  // where the bars stand: the axis runs along its left and bottom edge
    double top = 1;            // the scale's top, in the unit
    std::vector<BarPair> bars; // the rows of the period, in their order
    // The slots labelled under the plot (1, 5, 10, ... of a month; every month of a year) and
    // the x of their middles.
    std::vector<std::pair<int, double>> slotLabels;
};

// Room around the plot for the labels, in logical pixels.
struct Margins {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// The chart in an area of width x height with the plot inside the margins; `ratio` is the
// device pixels per logical pixel.
Picture layOut(const Period& period, double width, double height, const Margins& margins, double ratio);

} // namespace chart
