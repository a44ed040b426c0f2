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

bool takesFlow(const CProfile& profile, const FlowKey& key)
{
    return key.family != 0 ? takesLocalEnd(profile, key) && passesFilters(profile, key) : profile.countsEveryAddress();
}

void addAtomically(double& total, double amount)
{
    std::atomic_ref<double> slot(total);
    double seen = slot.load(std::memory_order_relaxed);
    while (!slot.compare_exchange_weak(seen, seen + amount, std::memory_order_relaxed)) {
    }
}

// The day and its hour together: a day's hours add up to the day.
void addToDayAndHour(YearHistory& year, PendingHours& hours, const LocalHour& hour, bool isDownload, std::uint64_t bytes)
{
    DayTotals& day = year.days[std::size_t(YearHistory::slotOf(hour.date.month, hour.date.day))];
    DayTotals& hourSlot = hours.hours[std::size_t(std::min(hour.hour, hours.hourCount - 1))];
    addAtomically(isDownload ? day.down : day.up, double(bytes));
    addAtomically(isDownload ? hourSlot.down : hourSlot.up, double(bytes));
}

// Holds the guard shared while `walk` counts, once the year and the day's hours are prepared.
// `walk` returns false, having added nothing, when a profile it needed lacks its records:
// they are given under the guard held exclusively, and the walk is made again.
template <class Walk>
void countPrepared(SharedProfiles& shared, const LocalHour& hour, Walk&& walk)
{
    for (;;) {
        {
            // Shared: other capture threads account at the same time; day totals are added
            // atomically. Nothing is counted until the year and the day's hours are known to
            // be prepared, so the walk never has to give up the guard half-way through.
            std::shared_lock lock(shared.guard);
            if (shared.preparedYear == hour.date.year && shared.hoursPrepared(hour.date) && walk())
                return;
        }
        // The date entered another year, or another day, or a profile was put in the list
        // without its records: every profile gets its record and its hours before anything of
        // that day is counted. (A flow of the day before, read just before midnight, may come
        // back to a day the save has already handed over: it gets pending hours again.)
        std::unique_lock lock(shared.guard);
        shared.prepareYear(hour.date.year);
        shared.prepareHours(hour);
    }
}

struct DownUp {
    std::uint64_t down = 0;
    std::uint64_t up = 0;
    void add(bool isDownload, std::uint64_t bytes) { (isDownload ? down : up) += bytes; }
    bool empty() const { return down == 0 && up == 0; }
};

// A program and interface the batch met: the attributed totals' entry, less the profile.
struct Owner {
    std::uint64_t cgroup = 0;
    int interfaceIndex = 0;
    bool operator==(const Owner&) const = default;
};

// What one batch adds, gathered on the counting thread before anything shared is written, so
// the shared slots, the program entries and the live counters take one addition each per batch.
// Kept from batch to batch per thread (no allocation once grown); only countFlows touches it.
struct BatchSums {
    struct ProfileSlots {
        YearHistory* year = nullptr; // null: the profile took nothing of this batch yet
        PendingHours* hours = nullptr;
        DownUp bytes;
    };
    std::vector<ProfileSlots> profiles;
    std::vector<Owner> owners;
    std::vector<DownUp> byOwner; // [owner * profileCount + profile]
    std::size_t profileCount = 0;
    std::size_t lastOwner = 0;

    void start(std::size_t count)
    {
        profileCount = count;
        profiles.assign(count, {});
        owners.clear();
        lastOwner = 0;
    }
    // The row of the owner's sums, one per profile. The ring's records all have cgroup 0 and
    // come from a few interfaces; a batch of the kernel's, one flow each.
    DownUp* rowOf(const Owner& owner)
    {
        if (lastOwner >= owners.size() || owners[lastOwner] != owner) {
            lastOwner = std::size_t(std::find(owners.begin(), owners.end(), owner) - owners.begin());
            if (lastOwner == owners.size()) {
                owners.push_back(owner);
                byOwner.resize(std::max(byOwner.size(), owners.size() * profileCount));
                std::fill_n(byOwner.begin() + std::ptrdiff_t(lastOwner * profileCount), profileCount, DownUp());
            }
        }
        return byOwner.data() + lastOwner * profileCount;
    }
};

thread_local BatchSums batchSums;

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
    countPrepared(*profiles, hour, [&] { return accountOneFlow(key, count, hour); });
}

void CTrafficMeter::countFlows(std::span<const FlowRecord> records)
{
    if (records.size() == 1)
        return countFlow(records[0].key, records[0].count);
    if (profiles == nullptr || records.empty())
        return;
    const LocalHour hour = clock->hourNow();
    countPrepared(*profiles, hour, [&] { return accountBatch(records, hour); });
}

// The walk over the profiles for one flow record; the caller holds the guard shared. Returns
// false, having added nothing, when a profile has no record for the year or no hours for the
// day (only a profile put in the list without addProfile can lack them).
bool CTrafficMeter::accountOneFlow(const FlowKey& key, const FlowCount& count, const LocalHour& hour)
{
    // Read once: the vector shares a cache line with the guard, which other capture threads
    // write as they take and release it.
    CProfile* const list = profiles->profiles.data();
    const std::size_t profileCount = profiles->profiles.size();
    const std::uint32_t selected = selectedProfile.load(std::memory_order_relaxed);
    const bool isDownload = key.direction == PacketWay::Received;
    for (std::size_t index = 0; index < profileCount; ++index)
        if (list[index].findYear(hour.date.year) == nullptr || list[index].findPendingHours(hour.date) == nullptr)
            return false;
    ApplicationRates::Taker takers[16];
    std::size_t takerCount = 0;
    for (std::size_t index = 0; index < profileCount; ++index) {
        CProfile& profile = list[index];
        if (!takesFlow(profile, key))
            continue;
        addToDayAndHour(*profile.findYear(hour.date.year), *profile.findPendingHours(hour.date), hour, isDownload,
                        count.bytes);
        if (attributed != nullptr)
            attributed->add(profile.name, hour, key.cgroup, key.interfaceIndex, isDownload, count.bytes);
        if (takerCount == std::size(takers)) { // a long list: the rates take the flow in parts
            rates.add(takers, takerCount, key.cgroup, isDownload, count.bytes);
            takerCount = 0;
        }
        takers[takerCount++] = {std::uint32_t(index), &profile.name};
        if (index == selected) {
            (isDownload ? downloadBytes : uploadBytes).fetch_add(count.bytes, std::memory_order_relaxed);
            (isDownload ? downloadOverhead : uploadOverhead).fetch_add(count.overhead, std::memory_order_relaxed);
        }
    }
    if (takerCount > 0)
        rates.add(takers, takerCount, key.cgroup, isDownload, count.bytes);
    return true;
}

bool CTrafficMeter::accountBatch(std::span<const FlowRecord> records, const LocalHour& hour)
{
    const LocalDate& date = hour.date;
    // Read once: the vector shares a cache line with the guard, which other capture threads
    // write as they take and release it.
    CProfile* const list = profiles->profiles.data();
    const std::size_t profileCount = profiles->profiles.size();
    const std::uint32_t selected = selectedProfile.load(std::memory_order_relaxed);
    BatchSums& sums = batchSums;
    sums.start(profileCount);
    DownUp selectedBytes, selectedOverhead;

    for (const auto& [key, count] : records) {
        const bool isDownload = key.direction == PacketWay::Received;
        DownUp* const ownerRow = sums.rowOf({key.cgroup, key.interfaceIndex});
        for (std::size_t index = 0; index < profileCount; ++index) {
            CProfile& profile = list[index];
            if (!takesFlow(profile, key))
                continue;
            BatchSums::ProfileSlots& slots = sums.profiles[index];
            if (slots.year == nullptr) {
                slots.year = profile.findYear(date.year);
                slots.hours = profile.findPendingHours(date);
                if (slots.year == nullptr || slots.hours == nullptr)
                    return false;
            }
            slots.bytes.add(isDownload, count.bytes);
            ownerRow[index].add(isDownload, count.bytes);
            if (index == selected) {
                selectedBytes.add(isDownload, count.bytes);
                selectedOverhead.add(isDownload, count.overhead);
            }
        }
    }

    for (std::size_t index = 0; index < profileCount; ++index) {
        const BatchSums::ProfileSlots& slots = sums.profiles[index];
        if (slots.year == nullptr)
            continue;
        if (slots.bytes.down != 0)
            addToDayAndHour(*slots.year, *slots.hours, hour, true, slots.bytes.down);
        if (slots.bytes.up != 0)
            addToDayAndHour(*slots.year, *slots.hours, hour, false, slots.bytes.up);
    }
    for (std::size_t owner = 0; owner < sums.owners.size(); ++owner) {
        const Owner& ends = sums.owners[owner];
        const DownUp* const row = sums.byOwner.data() + owner * profileCount;
        for (const bool isDownload : {true, false}) {
            // The rates take the profiles of one amount in one call (most often every profile
            // that took the batch took all of it).
            ApplicationRates::Taker takers[16];
            std::size_t takerCount = 0;
            std::uint64_t takersAmount = 0;
            for (std::size_t index = 0; index < profileCount; ++index) {
                const std::uint64_t amount = isDownload ? row[index].down : row[index].up;
                if (amount == 0)
                    continue;
                if (attributed != nullptr)
                    attributed->add(list[index].name, hour, ends.cgroup, ends.interfaceIndex, isDownload, amount);
                if (takerCount == std::size(takers) || (takerCount > 0 && amount != takersAmount)) {
                    rates.add(takers, takerCount, ends.cgroup, isDownload, takersAmount);
                    takerCount = 0;
                }
                takers[takerCount++] = {std::uint32_t(index), &list[index].name};
                takersAmount = amount;
            }
            if (takerCount > 0)
                rates.add(takers, takerCount, ends.cgroup, isDownload, takersAmount);
        }
    }
    const auto addLive = [](std::atomic<std::uint64_t>& counter, std::uint64_t amount) {
        if (amount != 0)
            counter.fetch_add(amount, std::memory_order_relaxed);
    };
    addLive(downloadBytes, selectedBytes.down);
    addLive(uploadBytes, selectedBytes.up);
    addLive(downloadOverhead, selectedOverhead.down);
    addLive(uploadOverhead, selectedOverhead.up);
    return true;
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
