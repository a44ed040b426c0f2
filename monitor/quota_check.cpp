#include "monitor/quota_check.h"

#include <algorithm>
#include <map>
#include <shared_mutex>
#include <tuple>

QuotaCheck::QuotaCheck(const SharedProfiles& sharedProfiles, const DayClock& dayClock,
                       std::filesystem::path dataDirectory, Callback callback, ApplicationTotals totals)
    : profiles(sharedProfiles), clock(dayClock), onCheck(std::move(callback)), applicationTotals(std::move(totals)),
      monitor(std::move(dataDirectory))
{
}

std::size_t QuotaCheck::reload()
{
    std::lock_guard lock(guard);
    QuotaMonitor::Update lead;
    lead.lines = monitor.reload();
    checkAndTell(std::move(lead));
    return monitor.quotas().size();
}

void QuotaCheck::check()
{
    std::lock_guard lock(guard);
    checkAndTell({});
}

void QuotaCheck::checkAndTell(QuotaMonitor::Update lead)
{
    if (!monitor.quotas().empty()) { // without quotas the profiles are not even looked at
        const LocalDate today = clock.today();
        // The applications' use first: reading it may wait for a save, never while the guard is held.
        std::map<std::tuple<std::string, std::string, QuotaPeriod>, double> applicationUse;
        for (const Quota& quota : monitor.quotas()) {
            if (quota.application.empty() || !applicationTotals)
                continue;
            const QuotaSpan span = quotaSpan(quota.period, quota.startDay, today);
            double& used = applicationUse[{quota.profile, quota.application, quota.period}];
            for (const NamedTotals& row : applicationTotals(quota.profile, span.start, std::min(span.end, today)))
                if (row.name == quota.application)
                    used = double(quota.direction != QuotaDirection::Up ? row.down : 0) +
                           double(quota.direction != QuotaDirection::Down ? row.up : 0);
        }
        const ApplicationUse useOf = [&](const Quota& quota, const QuotaSpan&, const LocalDate&) {
            const auto found = applicationUse.find({quota.profile, quota.application, quota.period});
            return found != applicationUse.end() ? found->second : 0.0;
        };
        std::vector<QuotaStatus> statuses;
        {
            std::shared_lock lock(profiles.guard);
            statuses = monitor.statuses(profiles.profiles, today, useOf);
        }
        // The crossings are written to disk without the guard: a slow disk never holds up counting.
        QuotaMonitor::Update update = monitor.record(std::move(statuses));
        lead.statuses = std::move(update.statuses);
        lead.lines.insert(lead.lines.end(), update.lines.begin(), update.lines.end());
    }
    if (onCheck)
        onCheck(lead);
}
