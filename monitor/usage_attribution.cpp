#include "monitor/usage_attribution.h"

#include <algorithm>
#include <utility>

void UsageAttribution::merge(Rows& into, const NamedDayCount& row)
{
    const int day = row.date.year * 10000 + row.date.month * 100 + row.date.day;
    auto [entry, added] = into.try_emplace(RowKey{row.profile, row.name, row.hardwareAddress, day}, row);
    if (!added) {
        NamedDayCount& into = entry->second;
        into.down += row.down;
        into.up += row.up;
        if (into.hours.size() < row.hours.size())
            into.hours.resize(row.hours.size());
        for (std::size_t hour = 0; hour < row.hours.size(); ++hour) {
            into.hours[hour].down += row.hours[hour].down;
            into.hours[hour].up += row.hours[hour].up;
        }
    }
}

void UsageAttribution::collect()
{
    const std::vector<AttributedBytes> taken = counted.take();
    std::lock_guard lock(guard);
    for (const AttributedBytes& entry : taken) {
        DayHourCounts hours(std::size_t(entry.hourCount));
        hours[std::size_t(entry.hour)] = {entry.down, entry.up};
        merge(applications, {entry.profile, names.application(entry.cgroup).name, {}, entry.date, entry.down, entry.up,
                             std::move(hours)});
        const InterfaceName interface = names.interface(entry.interfaceIndex);
        merge(interfaces, {entry.profile, interface.name, interface.hardware, entry.date, entry.down, entry.up});
    }
}

void UsageAttribution::addTo(UsageBatch& batch)
{
    collect();
    std::lock_guard lock(guard);
    for (const auto& [key, row] : applications) {
        merge(applicationsInFlight, row);
        batch.applications.push_back(row);
    }
    for (const auto& [key, row] : interfaces) {
        merge(interfacesInFlight, row);
        batch.interfaces.push_back(row);
    }
    applications.clear();
    interfaces.clear();
}

void UsageAttribution::saved(bool written)
{
    std::lock_guard lock(guard);
    if (!written) {
        for (const auto& [key, row] : applicationsInFlight)
            merge(applications, row);
        for (const auto& [key, row] : interfacesInFlight)
            merge(interfaces, row);
    }
    applicationsInFlight.clear();
    interfacesInFlight.clear();
}

std::vector<NamedTotals> UsageAttribution::unsaved(NamedKind kind, const std::string& profile, const LocalDate& first,
                                                   const LocalDate& last)
{
    collect();
    std::map<std::pair<std::string, std::string>, NamedTotals> byName;
    std::lock_guard lock(guard);
    const bool applicationsWanted = kind == NamedKind::Application;
    for (const Rows* rows : {applicationsWanted ? &applications : &interfaces,
                             applicationsWanted ? &applicationsInFlight : &interfacesInFlight})
        for (const auto& [key, row] : *rows) {
            if (row.profile != profile || row.date < first || last < row.date)
                continue;
            NamedTotals& entry = byName[{row.name, row.hardwareAddress}];
            entry.name = row.name;
            entry.hardwareAddress = row.hardwareAddress;
            entry.down += row.down;
            entry.up += row.up;
        }
    std::vector<NamedTotals> totals;
    totals.reserve(byName.size());
    for (auto& [key, entry] : byName)
        totals.push_back(std::move(entry));
    return totals;
}

std::vector<NamedTotals> addedNamedTotals(std::vector<NamedTotals> stored, const std::vector<NamedTotals>& unsaved)
{
    for (const NamedTotals& entry : unsaved) {
        const auto same = std::find_if(stored.begin(), stored.end(), [&](const NamedTotals& row) {
            return row.name == entry.name && row.hardwareAddress == entry.hardwareAddress;
        });
        if (same == stored.end()) {
            stored.push_back(entry);
        } else {
            same->down += entry.down;
            same->up += entry.up;
        }
    }
    std::sort(stored.begin(), stored.end(), [](const NamedTotals& a, const NamedTotals& b) {
        if (a.down + a.up != b.down + b.up)
            return a.down + a.up > b.down + b.up;
        return std::tie(a.name, a.hardwareAddress) < std::tie(b.name, b.hardwareAddress);
    });
    return stored;
}
