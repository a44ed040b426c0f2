#pragma once
// The engine's quota check: quotas.json and quota-crossings.json of a data directory (quota/)
// read at the start and again on reload, and each quota's use read from the profiles under
// their guard (a shared lock for a few day totals, never a copy of the list); an application's
// quota's use from the engine's application totals, read before that guard is taken. Every check goes
// to one callback, through which a front end tells the crossings due: the window as desktop
// notifications, the service as log lines and metrics.

#include "profile/day_clock.h"
#include "profile/profile_list.h"
#include "quota/quota_status.h"
#include "usage/usage_database.h"

#include <filesystem>
#include <functional>
#include <mutex>

class QuotaCheck {
public:
    // Every quota's status (`due` set on each crossing to tell, already recorded as told) and
    // the lines to log: a bad file, a crossing, a quota without its profile.
    using Callback = std::function<void(const QuotaMonitor::Update&)>;
    // Each application's totals of a profile over days (CMonitorEngine::applicationTotals).
    using ApplicationTotals = std::function<std::vector<NamedTotals>(const std::string& profile,
                                                                     const LocalDate& first, const LocalDate& last)>;

    QuotaCheck(const SharedProfiles& profiles, const DayClock& clock, std::filesystem::path dataDirectory,
               Callback onCheck, ApplicationTotals applicationTotals = {});

    // Reads quotas.json again (the crossings told, the first time), then checks; the callback
    // has the reading's lines first. Returns the number of quotas read.
    std::size_t reload();
    void check();

private:
    void checkAndTell(QuotaMonitor::Update lead); // with `guard` held

    const SharedProfiles& profiles;
    const DayClock& clock;
    Callback onCheck;
    ApplicationTotals applicationTotals;
    std::mutex guard; // one check or reload at a time: they run on two threads
    QuotaMonitor monitor;
};
