#include "desktop/view/month_table.h"

#include <cstdio>

namespace {

// Bytes are whole: no decimals in that unit.
std::string cellText(double bytes, double divisor)
{
    if (divisor != 1)
        return amountText(bytes, divisor);
    char text[512]; // %.0f of the largest double needs 309 characters
    std::snprintf(text, sizeof text, "%.0f", bytes);
    return text;
}

} // namespace

int monthIndexOf(const std::string& text)
{
    for (std::size_t i = 0; i < kMonthNames.size(); ++i)
        if (text == kMonthNames[i])
            return static_cast<int>(i);
    return 0;
}

std::vector<MonthTableRow> monthTable(const CProfile& profile, int year, int month, double divisor)
{
    std::vector<MonthTableRow> rows;
    if (month < 0 || month > 11)
        return rows;
    const PeriodSums sums = periodSums(profile, year, month);
    if (!sums.recorded)
        return rows;
    for (const PeriodRow& day : sums.rows)
        rows.push_back({std::to_string(day.index), cellText(day.down, divisor), cellText(day.up, divisor),
                        cellText(day.down + day.up, divisor)});
    rows.push_back({});
    rows.push_back({"Total", cellText(sums.down, divisor), cellText(sums.up, divisor),
                    cellText(sums.down + sums.up, divisor)});
    return rows;
}
