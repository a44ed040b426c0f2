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
    return text == kWholeYearText ? -1 : 0;
}

std::vector<MonthTableRow> monthTable(const CProfile& profile, int year, int month, double divisor)
{
    std::vector<MonthTableRow> rows;
    if (month < -1 || month > 11)
        return rows;
    const PeriodSums sums = periodSums(profile, year, month);
    if (!sums.recorded)
        return rows;
    for (const PeriodRow& row : sums.rows)
        rows.push_back({month < 0 ? kMonthNames[std::size_t(row.index)] : std::to_string(row.index),
                        cellText(row.down, divisor), cellText(row.up, divisor), cellText(row.down + row.up, divisor)});
    rows.push_back({});
    rows.push_back({"Total", cellText(sums.down, divisor), cellText(sums.up, divisor),
                    cellText(sums.down + sums.up, divisor)});
    return rows;
}
