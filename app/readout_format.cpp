#include "app/readout_format.h"

#include <cstdio>

namespace {

std::string printed(const char* format, double first, double second = 0)
{
    // The widest float prints as 39 digits before the point; 128 covers the tooltip too.
    char buffer[128];
    if (std::snprintf(buffer, sizeof buffer, format, first, second) < 0)
        return {};
    return buffer;
}

} // namespace

float toDisplayUnit(float bytes, std::uint32_t unitDivisor)
{
    return bytes / float(unitDivisor == 0 ? 1 : unitDivisor);
}

std::string formatReadout(float displayValue)
{
    return printed("%4.2f", displayValue);
}

std::string unitLabel(std::uint32_t unitDivisor)
{
    if (unitDivisor >= 1000000000u)
        return "GB/s";
    if (unitDivisor >= 1000000u)
        return "MB/s";
    if (unitDivisor >= 1000u)
        return "KB/s";
    return "B/s";
}

std::string trayTooltip(float download, float upload)
{
    return printed("Velmora\nDown: %.2f - Up: %.2f", download, upload);
}
