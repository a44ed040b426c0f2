#include "accounting/application_rates.h"

#include <algorithm>
#include <map>
#include <span>

void ApplicationRates::add(const Taker* takers, std::size_t count, std::uint64_t cgroup, bool isDownload,
                           std::uint64_t bytes)
{
    std::lock_guard lock(guard);
    for (const Taker& taker : std::span(takers, count)) {
        auto [entry, added] = entries.try_emplace(Key{taker.index, cgroup});
        Cgroup& counted = entry->second;
        if (added || counted.profile != *taker.name) {
            counted = Cgroup{*taker.name, {}, period};
        } else if (counted.lastPeriod != period) {
            // The periods since the last add were silent: their slots still hold a minute ago's.
            const std::int64_t silent = std::min<std::int64_t>(period - counted.lastPeriod, kPeriods);
            for (std::int64_t step = 1; step <= silent; ++step)
                counted.ring[std::size_t((counted.lastPeriod + step) % kPeriods)] = {};
            counted.lastPeriod = period;
        }
        Bytes& slot = counted.ring[std::size_t(period % kPeriods)];
        (isDownload ? slot.down : slot.up) += bytes;
    }
}

void ApplicationRates::endPeriod()
{
    std::lock_guard lock(guard);
    ++period;
    std::erase_if(entries, [this](const auto& entry) { return entry.second.lastPeriod <= period - 1 - kPeriods; });
}

std::vector<CgroupRate> ApplicationRates::of(std::string_view profile) const
{
    std::vector<CgroupRate> rates;
    std::lock_guard lock(guard);
    const std::int64_t last = period - 1; // the last whole period
    for (const auto& [key, counted] : entries) {
        if (counted.profile != profile)
            continue;
        CgroupRate rate{key.cgroup};
        // Whole periods of the last minute the ring still holds (none after lastPeriod were
        // heard from); the one under way is not whole yet.
        for (std::int64_t at = std::max(last - kPeriods + 1, counted.lastPeriod - kPeriods + 1);
             at <= std::min(last, counted.lastPeriod); ++at) {
            const Bytes& slot = counted.ring[std::size_t(at % kPeriods)];
            rate.minuteDown += slot.down;
            rate.minuteUp += slot.up;
            if (at == last) {
                rate.currentDown = slot.down;
                rate.currentUp = slot.up;
            }
        }
        if (rate.minuteDown + rate.minuteUp > 0)
            rates.push_back(rate);
    }
    return rates;
}

std::size_t ApplicationRates::kept() const
{
    std::lock_guard lock(guard);
    return entries.size();
}

std::vector<ApplicationRate> namedRates(const std::vector<CgroupRate>& rates,
                                        const std::function<std::string(std::uint64_t cgroup)>& nameOf)
{
    std::map<std::string, ApplicationRate> byName;
    for (const CgroupRate& rate : rates) {
        std::string name = nameOf(rate.cgroup);
        ApplicationRate& named = byName[name];
        named.name = std::move(name);
        named.currentDown += rate.currentDown;
        named.currentUp += rate.currentUp;
        named.minuteDown += rate.minuteDown;
        named.minuteUp += rate.minuteUp;
    }
    std::vector<ApplicationRate> list;
    list.reserve(byName.size());
    for (auto& [name, rate] : byName)
        list.push_back(std::move(rate));
    std::stable_sort(list.begin(), list.end(), [](const ApplicationRate& a, const ApplicationRate& b) {
        return a.minuteDown + a.minuteUp > b.minuteDown + b.minuteUp;
    });
    return list;
}
