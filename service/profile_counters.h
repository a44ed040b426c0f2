#pragma once
// The per-profile figures of the metrics file. Bytes since the start are the growth of each
// profile's history sums over what they were at the start, so the meter needs no counter of
// its own: whatever reaches a profile's day totals reaches its counters.

#include "profile/profile_list.h"
#include "service/metrics_text.h"

#include <map>
#include <string>
#include <vector>

class ProfileCounters {
public:
    // `atStart`: the profiles as loaded, before any packet was counted.
    explicit ProfileCounters(const ProfileList& atStart);

    // A profile unknown at the start counts from zero (a new profile's history is empty). A
    // profile whose sums fell (removed and added again under its name) counts from zero from
    // then on: the counter resets once and grows again. Names repeat in a list only by
    // mistake; the first of a name is the one reported.
    std::vector<ProfileFigures> figures(const ProfileList& now, const LocalDate& today);

private:
    struct Sums {
        double down = 0;
        double up = 0;
    };
    static Sums historySums(const CProfile& profile);

    std::map<std::string, Sums> baseline; // by profile name
};
