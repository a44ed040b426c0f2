#pragma once
// The tray icon's tooltip: the program's name, the current rates as the window's Current row
// shows them, today's and this month's totals of the counted profile (with the days left of its
// quota's month), the busiest application of the last minute, then any notices (a failed save,
// ...).

#include "desktop/view/readout_format.h"
#include "profile/profile.h"

#include <optional>
#include <string>
#include <vector>

struct TrayTooltip {
    ReadoutText download;
    ReadoutText upload;
    std::optional<DayTotals> today;   // the counted profile's totals of the local day
    std::optional<DayTotals> month;   // ... and of the calendar month so far
    std::optional<int> quotaDaysLeft; // days of its month quota's span still to come, today included
    std::vector<std::string> notices; // one line each, after the rates
    // The application that counted most in the last minute: its name and bytes down, up.
    struct TopApplication {
        std::string name;
        double down = 0, up = 0;
    };
    std::optional<TopApplication> top{};
};

// "Velmora\nDown: 123.46 KB/s - Up: 0.00 KB/s", then "\nToday: 1.23 GB down, 210 MB up",
// "\nThis month: 12.3 GB down, 2.10 GB up (quota: 9 days left)",
// "\nTop: Firefox (12.3 MB down, 210 KB up in the last minute)" and a line per notice. Each rate carries the unit it is shown in, which the window may have had to
// make larger than the chosen one.
std::string trayTooltipText(const TrayTooltip& tooltip);

// Bytes with three significant digits in the largest decimal unit below them: "512 B",
// "12.3 KB", "210 MB", "1.23 GB", "4.56 TB".
std::string formatByteAmount(double bytes);


