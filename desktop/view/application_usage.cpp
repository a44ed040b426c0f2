#include "desktop/view/application_usage.h"

#include "desktop/view/readout_format.h"
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

std::uint64_t amountOf(const NamedTotals& row, UsageColumn column, const LiveRates& rates)
{
    switch (column) {
    case UsageColumn::Rate: {
        const auto found = rates.find(row.name);
        return found == rates.end() ? 0 : found->second.down + found->second.up;
    }
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

void sortUsage(std::vector<NamedTotals>& rows, UsageColumn column, bool descending, const LiveRates& rates)
{
    auto nameOrder = [](const NamedTotals& a, const NamedTotals& b) {
        const int byName = strcasecmp(a.name.c_str(), b.name.c_str());
        return byName != 0 ? byName < 0 : a.hardwareAddress < b.hardwareAddress;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const NamedTotals& a, const NamedTotals& b) {
        if (column != UsageColumn::Name) {
            const std::uint64_t left = amountOf(a, column, rates), right = amountOf(b, column, rates);
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

void addLiveOnly(std::vector<NamedTotals>& rows, const LiveRates& rates)
{
    for (const auto& [name, rate] : rates)
        if (std::none_of(rows.begin(), rows.end(), [&](const NamedTotals& row) { return row.name == name; }))
            rows.push_back({name, {}, 0, 0});
}

std::string liveRateHeader(std::uint32_t unitDivisor)
{
    return "Now (" + unitLabel(unitDivisor) + ")";
}

std::string liveRateText(const LiveRate& rate, std::uint32_t unitDivisor)
{
    if (rate.down == 0 && rate.up == 0)
        return {};
    return formatReadout(toDisplayUnit(float(rate.down), unitDivisor)) + " / " +
           formatReadout(toDisplayUnit(float(rate.up), unitDivisor));
}

std::string attributionNotice(bool kernelCounts)
{
    if (kernelCounts)
        return {};
    return "Only counting in the kernel tells programs apart: here everything is System.";
}
