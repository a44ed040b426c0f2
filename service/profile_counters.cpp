#include "service/profile_counters.h"

#include "profile/day_history.h"

#include <set>

ProfileCounters::ProfileCounters(const ProfileList& profiles)
{
    for (const CProfile& profile : profiles)
        baseline.emplace(profile.name, historySums(profile));
}

ProfileCounters::Sums ProfileCounters::historySums(const CProfile& profile)
{
    Sums sums;
    for (const YearHistory& year : profile.history) {
        for (const DayTotals& day : year.days) {
            sums.down += day.down;
            sums.up += day.up;
        }
    }
    return sums;
}

std::vector<ProfileFigures> ProfileCounters::figures(const ProfileList& now, const LocalDate& today)
{
    std::vector<ProfileFigures> result;
    std::set<std::string> seen;
    for (const CProfile& profile : now) {
        if (!seen.insert(profile.name).second)
            continue;
        ProfileFigures figures{profile.name};
        const Sums sums = historySums(profile);
        Sums& base = baseline[profile.name];
        if (sums.down < base.down || sums.up < base.up)
            base = Sums{};
        figures.receivedSinceStart = sums.down - base.down;
        figures.sentSinceStart = sums.up - base.up;
        const DayTotals day = dayTotalsOf(profile, today);
        figures.receivedToday = day.down;
        figures.sentToday = day.up;
        result.push_back(std::move(figures));
    }
    return result;
}
