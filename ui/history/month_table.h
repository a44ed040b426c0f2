#pragma once
// What the Activity History window shows, computed without widgets: the choices of its year and
// month boxes and the rows of its day table for one profile, year, month and size unit.

#include "profile/profile.h"

#include <array>
#include <string>
#include <vector>

struct SizeUnit {
    const char* text;
    double divisor; // bytes per unit, powers of 1000
};

inline constexpr std::array<SizeUnit, 4> kSizeUnits{{
    {"Bytes (B)", 1.0},
    {"Kilobytes (KB)", 1e3},
    {"Megabytes (MB)", 1e6},
    {"Gigabytes (GB)", 1e9},
}};
inline constexpr int kDefaultSizeUnit = 2; // megabytes

inline constexpr std::array<const char*, 12> kMonthNames{
    "January", "February", "March", "April", "May", "June",
    "July", "August", "September", "October", "November", "December"};

// Position of the text among the month names (exact comparison); anything else is January.
int monthIndexOf(const std::string& text);

// The year box: every year record's year, in the order the records were created.
std::vector<std::string> yearChoices(const CProfile& profile);

// The month box: the months (0 = January) of the year that hold any traffic, in calendar order.
std::vector<int> monthsWithTraffic(const YearHistory& year);

struct MonthTableRow {
    std::string day; // "3", "" for the spacer row, "Total" for the last row
    std::string downloaded, uploaded, total; // empty on the spacer row
};

// The day table: one row per day with traffic, a spacer and a Total row, each amount divided by
// the divisor and written "%.2f". Empty when the year has no record in the profile.
std::vector<MonthTableRow> monthTable(const CProfile& profile, int year, int month, double divisor);
