#include "ui/history/month_table.h"

#include <cstdio>

namespace {

std::string amountText(double bytes, double divisor)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", bytes / divisor);
    return text;
}

bool hasTraffic(const DayTotals& day)
{
    return day.down > 0 || day.up > 0;
}

} // namespace

int monthIndexOf(const std::string& text)
{
    for (std::size_t i = 0; i < kMonthNames.size(); ++i)
        if (text == kMonthNames[i])
            return static_cast<int>(i);
    return 0;
}

std::vector<std::string> yearChoices(const CProfile& profile)
{
    std::vector<std::string> years;
    for (const YearHistory& record : profile.history)
        years.push_back(std::to_string(record.year));
    return years;
}

std::vector<int> monthsWithTraffic(const YearHistory& year)
{
    std::vector<int> months;
    for (int month = 0; month < 12; ++month) {
        for (int day = 1; day <= YearHistory::kDaysPerMonth; ++day) {
            if (hasTraffic(year.days[YearHistory::slotOf(month, day)])) {
                months.push_back(month);
                break;
            }
        }
    }
    return months;
}

std::vector<MonthTableRow> monthTable(const CProfile& profile, int year, int month, double divisor)
{
    std::vector<MonthTableRow> rows;
    const YearHistory* record = profile.findYear(year);
    if (record == nullptr || month < 0 || month > 11)
        return rows;
    double downSum = 0, upSum = 0;
    for (int day = 1; day <= YearHistory::kDaysPerMonth; ++day) {
        const DayTotals& totals = record->days[YearHistory::slotOf(month, day)];
        if (!hasTraffic(totals))
            continue;
        rows.push_back({std::to_string(day), amountText(totals.down, divisor),
                        amountText(totals.up, divisor), amountText(totals.down + totals.up, divisor)});
        downSum += totals.down;
        upSum += totals.up;
    }
    rows.push_back({});
    rows.push_back({"Total", amountText(downSum, divisor), amountText(upSum, divisor),
                    amountText(downSum + upSum, divisor)});
    return rows;
}
