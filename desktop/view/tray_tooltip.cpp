#include "desktop/view/tray_tooltip.h"

#include <cmath>
#include <cstdio>

namespace {

// Empty before the first readout.
std::string rateText(const ReadoutText& rate)
{
    return rate.text.empty() ? std::string() : rate.text + " " + unitLabel(rate.unitDivisor);
}

} // namespace

std::string trayTooltipText(const TrayTooltip& tooltip)
{
    std::string text = "Velmora\nDown: " + rateText(tooltip.download) + " - Up: " + rateText(tooltip.upload);
    if (tooltip.today) {
        text += "\nToday: " + formatByteAmount(tooltip.today->down) + " down, " +
                formatByteAmount(tooltip.today->up) + " up";
    }
    if (tooltip.month) {
        text += "\nThis month: " + formatByteAmount(tooltip.month->down) + " down, " +
                formatByteAmount(tooltip.month->up) + " up";
        if (const std::optional<int> left = tooltip.quotaDaysLeft)
            text += " (quota: " + std::to_string(*left) + (*left == 1 ? " day left)" : " days left)");
    }
    if (const std::optional<TrayTooltip::TopApplication>& top = tooltip.top)
        text += "\nTop: " + top->name + " (" + formatByteAmount(top->down) + " down, " + formatByteAmount(top->up) +
                " up in the last minute)";
    for (const std::string& notice : tooltip.notices)
        text += "\n" + notice;
    return text;
}

std::string formatByteAmount(double bytes)
{
    static constexpr const char* kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    if (!(bytes > 0) || !std::isfinite(bytes))
        return "0 B";
    std::size_t unit = 0;
    double value = bytes;
    // 999.6 KB would print as "1000 KB": rounding to three digits decides the unit.
    while (unit + 1 < std::size(kUnits) && value >= 999.5) {
        value /= 1000;
        ++unit;
    }
    const char* format = unit == 0 || value >= 99.95 ? "%.0f %s" : value >= 9.995 ? "%.1f %s" : "%.2f %s";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value, kUnits[unit]);
    return buffer;
}
