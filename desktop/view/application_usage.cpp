#include "desktop/view/application_usage.h"

#include "profile/day_history.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <strings.h>

namespace {

int daysInMonth(int year, int month) // month 0 = January
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month] + (month == 1 && leap ? 1 : 0);
}

UsagePeriod wholeMonth(std::string text, int year, int month)
{
    return {std::move(text), {year, month, 1}, {year, month, daysInMonth(year, month)}};
}

std::uint64_t amountOf(const NamedTotals& row, UsageColumn column)
{
    switch (column) {
    case UsageColumn::Downloaded: return row.down;
    case UsageColumn::Uploaded: return row.up;
    case UsageColumn::Total: return row.down + row.up;
    case UsageColumn::Name: break;
    }
    return 0;
}

} // namespace

std::vector<UsagePeriod> usagePeriods(const LocalDate& today, int pastMonths)
{
    std::vector<UsagePeriod> periods{{"Today", today, today}, wholeMonth("This month", today.year, today.month)};
    int year = today.year, month = today.month;
    for (int past = 0; past < pastMonths; ++past) {
        if (--month < 0) {
            month = 11;
            --year;
        }
        periods.push_back(wholeMonth(std::string(kMonthNames[month]) + ' ' + std::to_string(year), year, month));
    }
    return periods;
}

void sortUsage(std::vector<NamedTotals>& rows, UsageColumn column, bool descending)
{
    auto nameOrder = [](const NamedTotals& a, const NamedTotals& b) {
        const int byName = strcasecmp(a.name.c_str(), b.name.c_str());
        return byName != 0 ? byName < 0 : a.hardwareAddress < b.hardwareAddress;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const NamedTotals& a, const NamedTotals& b) {
        if (column != UsageColumn::Name) {
            const std::uint64_t left = amountOf(a, column), right = amountOf(b, column);
            if (left != right)
                return descending ? left > right : left < right;
            return nameOrder(a, b);
        }
        return descending ? nameOrder(b, a) : nameOrder(a, b);
    });
}

std::vector<UsageRow> usageRows(const std::vector<NamedTotals>& totals)
{
    std::map<std::string, int> uses;
    for (const NamedTotals& row : totals)
        ++uses[row.name];
    std::vector<UsageRow> rows;
    rows.reserve(totals.size());
    for (const NamedTotals& row : totals) {
        std::string name = row.name;
        if (uses[row.name] > 1 && !row.hardwareAddress.empty())
            name += " (" + row.hardwareAddress + ')';
        rows.push_back({std::move(name), byteAmountText(row.down), byteAmountText(row.up),
                        byteAmountText(row.down + row.up)});
    }
    return rows;
}

std::string byteAmountText(std::uint64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    std::size_t unit = 1;
    while (unit + 1 < kSizeUnits.size() && double(bytes) >= kSizeUnits[unit + 1].divisor)
        ++unit;
    char text[48];
    std::snprintf(text, sizeof text, "%.2f %s", double(bytes) / kSizeUnits[unit].divisor, kSizeUnits[unit].symbol);
    return text;
}

std::string attributionNotice(bool kernelCounts)
{
    if (kernelCounts)
        return {};
    return "Only counting in the kernel tells programs apart: here everything is System.";
}
