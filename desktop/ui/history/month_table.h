#pragma once
// The day table of the Activity History window for one profile, year, month and size unit,
// computed without widgets from the day-history model (profile/day_history.h), which also
// gives the window its size units, month names and the year and month choices.

#include "profile/day_history.h"

#include <string>
#include <vector>

struct MonthTableRow {
    std::string day; // "3", "" for the spacer row, "Total" for the last row
    std::string downloaded, uploaded, total; // empty on the spacer row
};

// One row per day with traffic, a spacer and a Total row, each amount divided by the divisor
// and written "%.2f" ("%.0f" in bytes, a divisor of 1). Empty when the year has no record in the profile.
std::vector<MonthTableRow> monthTable(const CProfile& profile, int year, int month, double divisor);
