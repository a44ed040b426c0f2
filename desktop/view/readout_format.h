#pragma once
// Texts of the readouts and the unit labels. Values arrive in bytes per period and are shown
// in the unit the user chose (decimal: 1, 1000, 1000000, 1000000000).

#include <cstdint>
#include <functional>
#include <string>

// "%4.2f" of bytes / divisor, in single precision as the readouts are kept.
float toDisplayUnit(float bytes, std::uint32_t unitDivisor);
std::string formatReadout(float displayValue);

// "B/s", "KB/s", "MB/s" or "GB/s"; an unknown divisor gets the nearest smaller unit's text.
std::string unitLabel(std::uint32_t unitDivisor);

// The text the window's layout starts with: the default unit's, as Options names it.
inline constexpr const char* kInitialUnitLabel = "KB/s";

// The units a readout can be shown in, smallest first.
inline constexpr std::uint32_t kUnitDivisors[] = {1, 1000, 1000000, 1000000000};

// One readout as shown: its text and the divisor of the unit the text is in.
struct ReadoutText {
    std::string text;
    std::uint32_t unitDivisor = 1000;
    bool operator==(const ReadoutText&) const = default;
};

// The readout in the chosen unit when `fits` accepts its text, else in the next larger unit
// whose text fits. A value too large for every unit keeps the text of the largest: its digits
// are all there, the window gives it the room it needs.
ReadoutText fitReadout(float bytes, std::uint32_t chosenDivisor,
                       const std::function<bool(const std::string&)>& fits);
