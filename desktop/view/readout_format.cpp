#include "desktop/view/readout_format.h"

#include <cstdio>

float toDisplayUnit(float bytes, std::uint32_t unitDivisor)
{
    return bytes / float(unitDivisor == 0 ? 1 : unitDivisor);
}

std::string formatReadout(float displayValue)
{
    // The widest float prints as 39 digits before the point.
    char buffer[64];
    if (std::snprintf(buffer, sizeof buffer, "%4.2f", double(displayValue)) < 0)
        return {};
    return buffer;
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

ReadoutText fitReadout(float bytes, std::uint32_t chosenDivisor,
                       const std::function<bool(const std::string&)>& fits)
{
    ReadoutText shown{formatReadout(toDisplayUnit(bytes, chosenDivisor)), chosenDivisor};
    for (std::uint32_t divisor : kUnitDivisors) {
        if (fits(shown.text))
            break;
        if (divisor > shown.unitDivisor)
            shown = {formatReadout(toDisplayUnit(bytes, divisor)), divisor};
    }
    return shown;
}
