#include "monitor/usage_hours.h"

#include "base/program_log.h"
#include "profile/day_history.h"
#include "profile/profile_writer.h"

#include <cmath>
#include <unordered_map>
#include <utility>

namespace {

std::uint64_t wholeBytes(double amount)
{
    return amount > 0 && std::isfinite(amount) ? std::uint64_t(std::llround(amount)) : 0;
}

bool anyPending(const PendingHours& day)
{
    for (int hour = 0; hour < day.hourCount; ++hour)
        if (day.hours[std::size_t(hour)].down != 0 || day.hours[std::size_t(hour)].up != 0)
            return true;
    return false;
}

// At most this many changes are logged one by one; the rest are counted.
constexpr std::size_t kChangesLogged = 10;

} // namespace

UsageBatch pendingHoursBatch(const ProfileList& copy)
{
    UsageBatch batch;
    for (const CProfile& profile : copy)
        for (const PendingHours& pending : profile.pendingHours) {
            if (!anyPending(pending))
                continue;
            const DayTotals day = dayTotalsOf(profile, pending.date);
            ProfileDayHours hours{profile.name, pending.date, DayHourCounts(std::size_t(pending.hourCount)),
                                  {wholeBytes(amountAsSaved(day.down)), wholeBytes(amountAsSaved(day.up))},
                                  std::size_t(pending.hourCount - 1)};
            for (std::size_t hour = 0; hour < hours.added.size(); ++hour) {
                hours.added[hour] = {wholeBytes(pending.hours[hour].down), wholeBytes(pending.hours[hour].up)};
                if (hours.added[hour] != HourCounts())
                    hours.lastHour = hour;
            }
            batch.hours.push_back(std::move(hours));
        }
    return batch;
}

void forgetCommittedHours(SharedProfiles& shared, const ProfileList& copy, const LocalDate& today)
{
    std::unordered_map<std::string, const CProfile*> copied;
    for (const CProfile& profile : copy)
        copied.emplace(profile.name, &profile);
    for (CProfile& live : shared.profiles) {
        const auto found = copied.find(live.name);
        if (found == copied.end())
            continue;
        for (const PendingHours& written : found->second->pendingHours)
            if (PendingHours* pending = live.findPendingHours(written.date))
                for (std::size_t hour = 0; hour < pending->hours.size(); ++hour) {
                    DayTotals& slot = pending->hours[hour];
                    slot.down = std::max(0.0, slot.down - written.hours[hour].down);
                    slot.up = std::max(0.0, slot.up - written.hours[hour].up);
                }
    }
    std::erase_if(shared.hourDays, [&](const LocalHour& day) {
        if (!(day.date < today))
            return false;
        for (const CProfile& profile : shared.profiles)
            if (const PendingHours* pending = profile.findPendingHours(day.date); pending && anyPending(*pending))
                return false;
        for (CProfile& profile : shared.profiles)
            std::erase_if(profile.pendingHours, [&](const PendingHours& p) { return p.date == day.date; });
        return true;
    });
}

std::vector<std::string> reconcileHours(UsageDatabase& usage, const ProfileList& loaded, const LocalHour& now,
                                        int keepDays)
{
    LocalDate from = now.date;
    if (const std::optional<LocalDate> agreed = usage.agreedDay())
        from = DayClock::shiftedDate(*agreed, -1);
    from = std::clamp(from, DayClock::shiftedDate(now.date, 1 - keepDays), now.date);
    std::unordered_map<std::string, UsageDatabase::FiguresOfProfile> figures;
    for (const CProfile& profile : loaded) {
        UsageDatabase::FiguresOfProfile& days = figures[profile.name];
        for (LocalDate day = from; day <= now.date; day = DayClock::shiftedDate(day, 1)) {
            const DayTotals totals = dayTotalsOf(profile, day);
            const int hourCount = day == now.date ? now.hourCount : DayClock::hoursInDay(day);
            days[dayKeyOf(day)] = {{wholeBytes(totals.down), wholeBytes(totals.up)}, std::size_t(hourCount),
                                   std::size_t(day == now.date ? now.hour : hourCount - 1)};
        }
    }
    return usage.reconcile(figures);
}

UsageRecorder::UsageRecorder(const std::filesystem::path& databaseFile, const DayClock& dayClock, int keep)
    : file(databaseFile), clock(dayClock), keepDays(std::max(1, keep))
{
}

void UsageRecorder::start(const ProfileList& loaded)
{
    const bool opened = usage.open(file);
    startNotice = usage.takeNotice();
    if (!opened && startNotice.empty())
        startNotice = "usage database " + file.string() + " not used: " + usage.lastError();
    if (!startNotice.empty())
        logLine(startNotice);
    if (!opened)
        return;
    const LocalHour now = clock.hourNow();
    const std::vector<std::string> changes = reconcileHours(usage, loaded, now, keepDays.load());
    if (!changes.empty()) {
        std::string line = "usage database: the hours of " + std::to_string(changes.size()) +
                           " profile days brought to the profile files' totals:";
        for (std::size_t i = 0; i < changes.size() && i < kChangesLogged; ++i)
            line += (i ? "; " : " ") + changes[i];
        if (changes.size() > kChangesLogged)
            line += "; ...";
        logLine(line);
    }
    dropOldHours(now.date);
}

void UsageRecorder::dropOldHours(const LocalDate& today)
{
    const int keep = keepDays.load();
    if (prunedOn == today && prunedWith == keep)
        return;
    prunedOn = today;
    prunedWith = keep;
    usage.dropHoursBefore(DayClock::shiftedDate(today, 1 - keep));
}

void UsageRecorder::noteProblem(SaveOutcome& outcome, const std::string& text)
{
    outcome.saved = false;
    outcome.failures.push_back({file, text});
}

void UsageRecorder::save(SharedProfiles& shared, const ProfileList& copy, const LocalDate& copyDay,
                         SaveOutcome& outcome)
{
    if (!startNotice.empty())
        noteProblem(outcome, std::exchange(startNotice, std::string()));
    std::unique_lock database(databaseGuard);
    if (!usage.isOpen())
        return;
    UsageBatch batch = pendingHoursBatch(copy);
    // The files and the database agree from this snapshot on only when every file was written.
    if (outcome.saved && agreedWritten != copyDay)
        batch.agreedDay = copyDay;
    attributed.addTo(batch);
    if (batch.hours.empty() && batch.applications.empty() && batch.interfaces.empty() && !batch.agreedDay)
        return;
    const bool written = usage.save(batch);
    attributed.saved(written); // a failed save's rows wait for the next one
    if (!written) {
        noteProblem(outcome, usage.lastError());
        if (const std::string damaged = usage.takeNotice(); !damaged.empty()) {
            logLine(damaged);
            noteProblem(outcome, damaged);
        }
        return;
    }
    if (batch.agreedDay)
        agreedWritten = batch.agreedDay;
    database.unlock(); // never held with the profiles' guard
    {
        std::unique_lock lock(shared.guard);
        forgetCommittedHours(shared, copy, clock.today());
    }
    database.lock();
    dropOldHours(clock.today());
}

std::vector<NamedTotals> UsageRecorder::namedTotals(NamedKind kind, const std::string& profile,
                                                    const LocalDate& first, const LocalDate& last)
{
    std::lock_guard database(databaseGuard);
    std::vector<NamedTotals> stored = kind == NamedKind::Application ? usage.applicationTotals(profile, first, last)
                                                                     : usage.interfaceTotals(profile, first, last);
    return addedNamedTotals(std::move(stored), attributed.unsaved(kind, profile, first, last));
}
