#pragma once
// Texts of the readouts, the unit labels and the tray tooltip. Values arrive in bytes per
// period and are shown in the unit the user chose (decimal: 1, 1000, 1000000, 1000000000).

#include <cstdint>
#include <string>

// "%4.2f" of bytes / divisor, in single precision as the readouts are kept.
float toDisplayUnit(float bytes, std::uint32_t unitDivisor);
std::string formatReadout(float displayValue);

// "B/s", "KB/s", "MB/s" or "GB/s"; an unknown divisor gets the nearest smaller unit's text.
std::string unitLabel(std::uint32_t unitDivisor);

// The text the window's layout starts with, until the Options dialog first closes.
inline constexpr const char* kInitialUnitLabel = "KB/sec";

// "Velmora\nDown: %.2f - Up: %.2f" with values already in display units.
std::string trayTooltip(float download, float upload);
