#pragma once
// What the Activity History window shows, without widgets: the Size box's texts, the month
// box's months and the day table for one profile, year, month and size unit. All of it comes
// from the day-history model (profile/day_history.h), which the report shares: the size units,
// the month names and the year and month choices.

#include "profile/day_history.h"

#include <array>
#include <string>
#include <vector>

// The Size box's entries, in the order of kSizeUnits.
inline constexpr std::array<const char*, 4> kSizeUnitTexts{
    "Bytes (B)", "Kilobytes (KB)", "Megabytes (MB)", "Gigabytes (GB)"};
static_assert(kSizeUnitTexts.size() == kSizeUnits.size());

// The month box's last entry: the year's months rather than a month's days.
inline constexpr const char* kWholeYearText = "Whole year";

// Position of the text among the month names (exact comparison), -1 for kWholeYearText;
// anything else is January.
int monthIndexOf(const std::string& text);

struct MonthTableRow {
    std::string day; // "3" (or "March" for a year), "" for the spacer row, "Total" for the last row
    std::string downloaded, uploaded, total; // empty on the spacer row
};

// One row per day with traffic (with month -1, per month with traffic), a spacer and a Total
// row, each amount divided by the divisor and written "%.2f" ("%.0f" in bytes, a divisor of 1).
// Empty when the year has no record in the profile.
std::vector<MonthTableRow> monthTable(const CProfile& profile, int year, int month, double divisor);
