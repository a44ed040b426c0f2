#pragma once
// The profile list shared by the capture threads and the engine.

// The windows of ui/ are built with this defined: a stray include fails their build.
#ifdef VELMORA_PROFILE_LIST_SEALED
#error "windows read the profiles through a ProfileSource and edit them through a ProfileEditor"
#endif

#include "profile/profile.h"

#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

using ProfileList = std::vector<CProfile>;

// The one guard for the profile list and everything inside the profiles.
//
// - Capture threads hold it shared while they account one packet. Filters, names and
//   addresses are only read then; day totals are added to with atomic operations on the
//   doubles (std::atomic_ref), so two capture threads may add to the same slot at once.
//   They never change the list: every profile already holds a record for the year they count
//   in, made under the exclusive guard by prepareYear (at start and when the date enters a new
//   year) and by addProfile (for a profile added later).
// - Every other access (the window editing, the history window reading, saving) holds it
//   exclusively, so it never meets a capture thread half-way through an update.
// Only the engine, the capture and the service use it; windows read through a ProfileSource
// (profile_source.h) and edit through a ProfileEditor, which take the guard inside each call.
struct SharedProfiles {
    mutable std::shared_mutex guard; // guards `profiles` and every CProfile in it
    ProfileList profiles;
    // Names of profiles removed since start; the next save sets their files aside.
    std::vector<std::string> removedNames;
    // The year every profile holds a record for; 0 until the first prepareYear.
    int preparedYear = 0;
    // The days every profile holds pending hours for (CProfile::pendingHours): today's, and
    // earlier ones until the usage database has taken them.
    std::vector<LocalHour> hourDays{};

    bool hoursPrepared(const LocalDate& date) const
    {
        for (auto day = hourDays.rbegin(); day != hourDays.rend(); ++day)
            if (day->date == date)
                return true;
        return false;
    }
    // Gives every profile pending hours for the day (the others they hold already). The caller
    // holds the guard exclusively.
    void prepareHours(const LocalHour& day)
    {
        if (!hoursPrepared(day.date))
            hourDays.push_back(day);
        for (CProfile& profile : profiles)
            if (profile.findPendingHours(day.date) == nullptr)
                profile.pendingHours.push_back({day.date, day.hourCount, {}});
    }
    void givePendingHours(CProfile& profile) const
    {
        for (const LocalHour& day : hourDays)
            if (profile.findPendingHours(day.date) == nullptr)
                profile.pendingHours.push_back({day.date, day.hourCount, {}});
    }

    // Gives every profile a (reserved) record for `year`. The caller holds the guard exclusively.
    void prepareYear(int year)
    {
        for (CProfile& profile : profiles)
            profile.reserveYear(year);
        preparedYear = year;
    }
    // Appends a profile with the record of the prepared year. The caller holds the guard
    // exclusively.
    void addProfile(CProfile profile)
    {
        if (preparedYear != 0)
            profile.reserveYear(preparedYear);
        givePendingHours(profile);
        profiles.push_back(std::move(profile));
    }

    // A copy of the list taken under the guard, for code that reads at leisure: the history
    // as the user knows it, without the records reserved for traffic yet to come.
    ProfileList snapshot() const
    {
        ProfileList copy;
        {
            std::unique_lock lock(guard);
            copy = profiles;
        }
        for (CProfile& profile : copy)
            profile.dropUnusedReservations();
        return copy;
    }
};
