#pragma once
// The profile list shared by the capture threads and the window.

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
//   Appending a new year record takes the guard exclusively.
// - Every other access (the window editing, the history window reading, saving) holds it
//   exclusively, so it never meets a capture thread half-way through an update.
struct SharedProfiles {
    mutable std::shared_mutex guard; // guards `profiles` and every CProfile in it
    ProfileList profiles;
    // Names of profiles removed since start; the next save sets their files aside.
    std::vector<std::string> removedNames;

    // A copy of the list taken under the guard, for code that reads at leisure.
    ProfileList snapshot() const
    {
        std::unique_lock lock(guard);
        return profiles;
    }
};
