#include "accounting/traffic_meter.h"

#include <algorithm>
#include <limits>
#include <shared_mutex>

namespace {

// The profile takes the flow's address at the machine's end: Default any, another profile
// its bound address only (a broadcast or multicast received has no such end).
bool takesLocalEnd(const CProfile& profile, const FlowKey& key)
{
    if (profile.countsEveryAddress())
        return true;
    const std::optional<IpAddress> bound = profile.boundAddress();
    return bound && *bound == key.local;
}

bool passesFilters(const CProfile& profile, const FlowKey& key)
{
    return profile.matchIpFilter(key.remote) && profile.matchPortFilter(key.remotePort);
}

void addAtomically(double& total, double amount)
{
    std::atomic_ref<double>(total).fetch_add(amount, std::memory_order_relaxed);
}

} // namespace

CTrafficMeter::CTrafficMeter(ReadoutCallback readoutCallback, SharedProfiles* list)
    : callback(std::move(readoutCallback)), profiles(list)
{
}

CTrafficMeter::~CTrafficMeter()
{
    stopAndWait();
}

void CTrafficMeter::countFlow(const FlowKey& key, const FlowCount& count)
{
    if (profiles == nullptr)
        return;
    const LocalHour hour = clock->hourNow();
    const LocalDate& date = hour.date;
    for (;;) {
        {
            // Shared: other capture threads account at the same time; day totals are added
            // atomically. Nothing is counted until the year and the day's hours are known to
            // be prepared, so the walk never has to give up the guard half-way through a flow.
            std::shared_lock lock(profiles->guard);
            if (profiles->preparedYear == date.year && profiles->hoursPrepared(date)) {
                if (!accountForEveryProfile(key, count, hour))
                    break; // a profile added without its record: give it one below
                return;
            }
        }
        // The date entered another year, or another day: every profile gets its record and its
        // hours before anything of that day is counted. (A flow of the day before, read just
        // before midnight, may come back to a day the save has already handed over: it gets
        // pending hours again.)
        std::unique_lock lock(profiles->guard);
        if (profiles->preparedYear != date.year)
            profiles->prepareYear(date.year);
        profiles->prepareHours(hour);
    }
    std::unique_lock lock(profiles->guard);
    profiles->prepareYear(date.year);
    profiles->prepareHours(hour);
}

// The one walk over the profiles for one flow record; the caller holds the guard shared.
// Returns false when a profile the flow counts for had no record for the year (its share is lost:
// only a profile put in the list without addProfile can lack one).
bool CTrafficMeter::accountForEveryProfile(const FlowKey& key, const FlowCount& count, const LocalHour& hour)
{
    const LocalDate& date = hour.date;
    const bool isDownload = key.direction == PacketWay::Received;
    const bool knownEnds = key.family != 0;
    // Read once: the vector shares a cache line with the guard, which other capture threads
    // write as they take and release it.
    CProfile* const list = profiles->profiles.data();
    const std::size_t profileCount = profiles->profiles.size();
    const std::uint32_t selected = selectedProfile.load(std::memory_order_relaxed);
    const int slotIndex = YearHistory::slotOf(date.month, date.day);
    bool everyRecordFound = true;
    ApplicationRates::Taker takers[16];
    std::size_t takerCount = 0;
    for (std::size_t index = 0; index < profileCount; ++index) {
        CProfile& profile = list[index];
        const bool takes = knownEnds ? takesLocalEnd(profile, key) && passesFilters(profile, key)
                                     : profile.countsEveryAddress();
        if (!takes)
            continue;
        // The day and its hour together or neither: a day's hours add up to the day.
        YearHistory* year = profile.findYear(date.year);
        PendingHours* hours = profile.findPendingHours(date);
        if (year == nullptr || hours == nullptr) {
            everyRecordFound = false;
            continue;
        }
        DayTotals& slot = year->days[std::size_t(slotIndex)];
        DayTotals& hourSlot = hours->hours[std::size_t(std::min(hour.hour, hours->hourCount - 1))];
        addAtomically(isDownload ? slot.down : slot.up, double(count.bytes));
        addAtomically(isDownload ? hourSlot.down : hourSlot.up, double(count.bytes));
        if (attributed != nullptr)
            attributed->add(profile.name, hour, key.cgroup, key.interfaceIndex, isDownload, count.bytes);
        if (takerCount == std::size(takers)) { // a long list: the rates take the flow in parts
            rates.add(takers, takerCount, key.cgroup, isDownload, count.bytes);
            takerCount = 0;
        }
        takers[takerCount++] = {std::uint32_t(index), &profile.name};
        if (index == selected)
            accountSelected(count, isDownload);
    }
    if (takerCount > 0)
        rates.add(takers, takerCount, key.cgroup, isDownload, count.bytes);
    return everyRecordFound;
}

void CTrafficMeter::accountSelected(const FlowCount& count, bool isDownload)
{
    (isDownload ? downloadBytes : uploadBytes).fetch_add(count.bytes, std::memory_order_relaxed);
    (isDownload ? downloadOverhead : uploadOverhead).fetch_add(count.overhead, std::memory_order_relaxed);
}

void CTrafficMeter::tick()
{
    const float current[4] = {
        float(downloadBytes.exchange(0, std::memory_order_relaxed)),
        float(uploadBytes.exchange(0, std::memory_order_relaxed)),
        float(downloadOverhead.exchange(0, std::memory_order_relaxed)),
        float(uploadOverhead.exchange(0, std::memory_order_relaxed)),
    };
    rates.endPeriod(); // the programs' period ends with the readouts'
    for (int k = 0; k < 4; ++k)
        sampleRing[k][ringIndex] = current[k];

    // Weighted average over the ring, newest first, weights 1.0, 0.8, ... 0.2 in single
    // precision: (5*x0 + 4*x1 + 3*x2 + 2*x3 + x4) / 15.
    float average[4] = {0, 0, 0, 0};
    float weightSum = 0;
    constexpr auto n = static_cast<std::int32_t>(kRingLength);
    for (std::int32_t i = 0; i < n; ++i) {
        std::int32_t slot = std::int32_t(ringIndex) - i;
        if (slot < 0)
            slot += n;
        const float weight = float(n - i) / float(n);
        for (int k = 0; k < 4; ++k)
            average[k] += weight * sampleRing[k][std::size_t(slot)];
        weightSum += weight;
    }
    for (float& value : average)
        value /= weightSum;
    averageDownload = average[0];
    averageUpload = average[1];
    averageDownloadOverhead = average[2];
    averageUploadOverhead = average[3];

    if (callback) {
        callback(ReadoutKind::Current, current[0], current[1]);
        callback(ReadoutKind::CurrentOverhead, current[2], current[3]);
        callback(ReadoutKind::Average, averageDownload, averageUpload);
        callback(ReadoutKind::AverageOverhead, averageDownloadOverhead, averageUploadOverhead);
    }
    ringIndex = (ringIndex + 1) % kRingLength;
    averageDownload = averageUpload = averageDownloadOverhead = averageUploadOverhead = 0;
}

void CTrafficMeter::run()
{
    // Ticks fall on deadlines one period apart, so a late wake-up shortens the next wait
    // instead of stretching a period (which would inflate the next reading).
    auto deadline = std::chrono::steady_clock::now();
    while (isRunning()) {
        deadline += std::chrono::milliseconds(periodMs.load());
        {
            std::unique_lock lock(wakeMutex);
            wakeSignal.wait_until(lock, deadline, [this] { return !isRunning(); });
        }
        if (!isRunning())
            break;
        const auto now = std::chrono::steady_clock::now();
        if (now - deadline > std::chrono::milliseconds(periodMs.load()) * 5)
            deadline = now; // the machine slept: start counting periods afresh
        tick();
    }
}

void CTrafficMeter::wake()
{
    std::lock_guard lock(wakeMutex);
    wakeSignal.notify_all();
}
