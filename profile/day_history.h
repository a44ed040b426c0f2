#pragma once
// A profile's day history as the user reads it: the years and months that hold traffic, the
// sums of a month by day or of a year by month, the size units, the month names and the amount
// text. The history window, the report, the tray and the service all read day totals through
// here; what only the window shows is in desktop/view/month_table.h.

#include "profile/profile.h"

#include <array>
#include <string>
#include <vector>

struct SizeUnit {
    const char* symbol; // "B", "KB", "MB", "GB": the report's column and option
    double divisor;     // bytes per unit, powers of 1000
};

inline constexpr std::array<SizeUnit, 4> kSizeUnits{{
    {"B", 1.0},
    {"KB", 1e3},
    {"MB", 1e6},
    {"GB", 1e9},
}};
inline constexpr int kDefaultSizeUnit = 2; // megabytes

inline constexpr std::array<const char*, 12> kMonthNames{
    "January", "February", "March", "April", "May", "June",
    "July", "August", "September", "October", "November", "December"};

// A day counts as one with traffic when either direction is above zero.
bool hasTraffic(const DayTotals& day);
// The totals of a date; zero when the profile has none for it.
DayTotals dayTotalsOf(const CProfile& profile, const LocalDate& date);

// Every year record's year, in the order the records were created.
std::vector<std::string> yearChoices(const CProfile& profile);
// The months (0 = January) of the year that hold any traffic, in calendar order.
std::vector<int> monthsWithTraffic(const YearHistory& year);

// One line of a period: a day of the month (1 to 31), or a month of the year (0 to 11).
struct PeriodRow {
    int index = 0;
    double down = 0; // bytes
    double up = 0;
};

struct PeriodSums {
    std::vector<PeriodRow> rows; // only the days (months) with traffic, in calendar order
    double down = 0;             // the whole period's sums
    double up = 0;
    bool recorded = false;       // the profile holds a record of the year
};

// The days of `month` (0 to 11) of `year`, or with month -1 the months of the whole year.
// Empty, not recorded, when the profile has no record of the year.
PeriodSums periodSums(const CProfile& profile, int year, int month);

// "%.2f" of bytes / divisor, whole however large the amount.
std::string amountText(double bytes, double divisor);
