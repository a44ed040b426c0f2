#include "profile/day_history.h"

#include <cstdio>

bool hasTraffic(const DayTotals& day)
{
    return day.down > 0 || day.up > 0;
}

DayTotals dayTotalsOf(const CProfile& profile, const LocalDate& date)
{
    const YearHistory* year = profile.findYear(date.year);
    if (year == nullptr || date.month < 0 || date.month >= 12 || date.day < 1 ||
        date.day > YearHistory::kDaysPerMonth)
        return {};
    return year->days[std::size_t(YearHistory::slotOf(date.month, date.day))];
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

PeriodSums periodSums(const CProfile& profile, int year, int month)
{
    PeriodSums sums;
    const YearHistory* record = profile.findYear(year);
    if (record == nullptr || month > 11)
        return sums;
    sums.recorded = true;
    const bool wholeYear = month < 0;
    for (int m = wholeYear ? 0 : month; m <= (wholeYear ? 11 : month); ++m) {
        PeriodRow monthRow{m};
        for (int day = 1; day <= YearHistory::kDaysPerMonth; ++day) {
            const DayTotals& totals = record->days[YearHistory::slotOf(m, day)];
            if (!hasTraffic(totals))
                continue;
            if (!wholeYear)
                sums.rows.push_back({day, totals.down, totals.up});
            monthRow.down += totals.down;
            monthRow.up += totals.up;
        }
        if (wholeYear && (monthRow.down > 0 || monthRow.up > 0))
            sums.rows.push_back(monthRow);
        sums.down += monthRow.down;
        sums.up += monthRow.up;
    }
    return sums;
}

std::string amountText(double bytes, double divisor)
{
    char text[512]; // %.2f of the largest double needs 312 characters
    std::snprintf(text, sizeof text, "%.2f", bytes / divisor);
    return text;
}
