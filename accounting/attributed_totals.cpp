#include "accounting/attributed_totals.h"

#include <algorithm>

std::size_t AttributedTotals::EntryHash::operator()(const Entry& entry) const
{
    std::uint64_t mixed = entry.cgroup * 0x9e3779b97f4a7c15ull;
    mixed ^= std::uint64_t(std::uint32_t(entry.day) * 32 + std::uint32_t(entry.hour)) << 32 |
             std::uint32_t(entry.interfaceIndex);
    return std::size_t(mixed ^ (mixed >> 29));
}

void AttributedTotals::add(std::string_view profile, const LocalHour& hour, std::uint64_t cgroup, int interfaceIndex,
                           bool isDownload, std::uint64_t bytes)
{
    const LocalDate& date = hour.date;
    const int hourCount = std::clamp(hour.hourCount, 1, 25);
    const Entry entry{date.year * 10000 + date.month * 100 + date.day, std::int16_t(std::clamp(hour.hour, 0, hourCount - 1)),
                      std::int16_t(hourCount), cgroup, interfaceIndex};
    std::lock_guard lock(guard);
    auto found = byProfile.find(profile);
    if (found == byProfile.end())
        found = byProfile.emplace(std::string(profile), ProfileEntries{}).first;
    Counts& counts = found->second[entry];
    (isDownload ? counts.down : counts.up) += bytes;
}

std::vector<AttributedBytes> AttributedTotals::take()
{
    std::unordered_map<std::string, ProfileEntries, NameHash, std::equal_to<>> taken;
    {
        std::lock_guard lock(guard);
        taken.swap(byProfile);
    }
    std::vector<AttributedBytes> list;
    for (const auto& [profile, entries] : taken)
        for (const auto& [entry, counts] : entries)
            list.push_back({profile, LocalDate{entry.day / 10000, entry.day / 100 % 100, entry.day % 100}, entry.hour,
                            entry.hourCount, entry.cgroup, entry.interfaceIndex, counts.down, counts.up});
    return list;
}
