#include "monitor/usage_attribution.h"

void UsageAttribution::merge(Rows& into, const NamedDayCount& row)
{
    const int day = row.date.year * 10000 + row.date.month * 100 + row.date.day;
    auto [entry, added] = into.try_emplace(RowKey{row.profile, row.name, row.hardwareAddress, day}, row);
    if (!added) {
        entry->second.down += row.down;
        entry->second.up += row.up;
    }
}

void UsageAttribution::collect()
{
    const std::vector<AttributedBytes> taken = counted.take();
    std::lock_guard lock(guard);
    for (const AttributedBytes& entry : taken) {
        merge(applications, {entry.profile, names.application(entry.cgroup).name, {}, entry.date, entry.down, entry.up});
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
