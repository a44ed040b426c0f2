#include "profile/profile_source.h"

#include "profile/day_history.h"
#include "profile/profile_list.h"

#include <algorithm>

namespace {

const CProfile* findByName(const ProfileList& profiles, const std::string& name)
{
    const auto found = std::find_if(profiles.begin(), profiles.end(),
                                    [&](const CProfile& profile) { return profile.name == name; });
    return found == profiles.end() ? nullptr : &*found;
}

} // namespace

std::vector<CProfile> SharedProfileSource::snapshot() const
{
    return shared.snapshot();
}

std::vector<std::string> SharedProfileSource::profileNames() const
{
    std::vector<std::string> names;
    std::unique_lock lock(shared.guard);
    for (const CProfile& profile : shared.profiles)
        names.push_back(profile.name);
    return names;
}

std::optional<CProfile> SharedProfileSource::profileCopy(const std::string& name) const
{
    std::unique_lock lock(shared.guard);
    const CProfile* profile = findByName(shared.profiles, name);
    if (profile == nullptr)
        return std::nullopt;
    CProfile copy = *profile;
    lock.unlock();
    copy.dropUnusedReservations();
    return copy;
}

DayTotals SharedProfileSource::dayTotals(const std::string& name, const LocalDate& date) const
{
    // Exclusive: capture threads add to the slots while they hold the guard shared.
    std::unique_lock lock(shared.guard);
    const CProfile* profile = findByName(shared.profiles, name);
    return profile == nullptr ? DayTotals{} : dayTotalsOf(*profile, date);
}
