#pragma once
// What the windows read of the live profiles. The owner of the list answers each call under its
// own guard and hands out copies, so a reader never holds the guard, never sees a profile
// half-way through a change, and never keeps an index that a removal could shift.

#include "profile/profile.h"

#include <optional>
#include <string>
#include <vector>

class ProfileSource {
public:
    virtual ~ProfileSource() = default;

    // The names of the profiles, in list order.
    virtual std::vector<std::string> profileNames() const = 0;
    // A copy of the first profile of that exact name, without the year records reserved for
    // traffic yet to come: the history as the user knows it.
    virtual std::optional<CProfile> profileCopy(const std::string& name) const = 0;
    // Every profile, copied the same way.
    virtual std::vector<CProfile> snapshot() const = 0;
    // That profile's totals on that date; zero for a date without traffic or an unknown name.
    virtual DayTotals dayTotals(const std::string& name, const LocalDate& date) const = 0;
};

struct SharedProfiles;

// The source over the one shared list (profile_list.h): each call takes its guard for the copy.
class SharedProfileSource : public ProfileSource {
public:
    explicit SharedProfileSource(const SharedProfiles& profiles) : shared(profiles) {}

    std::vector<std::string> profileNames() const override;
    std::optional<CProfile> profileCopy(const std::string& name) const override;
    std::vector<CProfile> snapshot() const override;
    DayTotals dayTotals(const std::string& name, const LocalDate& date) const override;

private:
    const SharedProfiles& shared;
};

