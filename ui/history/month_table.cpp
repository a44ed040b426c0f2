#include "ui/history/month_table.h"

std::vector<MonthTableRow> monthTable(const CProfile& profile, int year, int month, double divisor)
{
    std::vector<MonthTableRow> rows;
    if (profile.findYear(year) == nullptr || month < 0 || month > 11)
        return rows;
    const PeriodSums sums = periodSums(profile, year, month);
    for (const PeriodRow& day : sums.rows)
        rows.push_back({std::to_string(day.index), amountText(day.down, divisor), amountText(day.up, divisor),
                        amountText(day.down + day.up, divisor)});
    rows.push_back({});
    rows.push_back({"Total", amountText(sums.down, divisor), amountText(sums.up, divisor),
                    amountText(sums.down + sums.up, divisor)});
    return rows;
}
