#include "monitor/quota_check.h"

#include <shared_mutex>

QuotaCheck::QuotaCheck(const SharedProfiles& sharedProfiles, const DayClock& dayClock,
                       std::filesystem::path dataDirectory, Callback callback)
    : profiles(sharedProfiles), clock(dayClock), onCheck(std::move(callback)), monitor(std::move(dataDirectory))
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
        std::vector<QuotaStatus> statuses;
        {
            std::shared_lock lock(profiles.guard);
            statuses = monitor.statuses(profiles.profiles, today);
        }
        // The crossings are written to disk without the guard: a slow disk never holds up counting.
        QuotaMonitor::Update update = monitor.record(std::move(statuses));
        lead.statuses = std::move(update.statuses);
        lead.lines.insert(lead.lines.end(), update.lines.begin(), update.lines.end());
    }
    if (onCheck)
        onCheck(lead);
}
