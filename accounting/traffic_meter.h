#pragma once
// The meter: the accounting of flow records into every profile's day history and the live
// counters of the selected profile, and the once-a-period sampling loop that turns the
// counters into readouts.

#include "accounting/application_rates.h"
#include "accounting/attributed_totals.h"
#include "accounting/readout.h"
#include "capture/flow_count.h"
#include "capture/worker_thread.h"
#include "profile/profile_list.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

class CTrafficMeter : public CWorkerThread {
public:
    static constexpr std::uint32_t kRingLength = 5;

    explicit CTrafficMeter(ReadoutCallback callback = {}, SharedProfiles* profiles = nullptr);
    ~CTrafficMeter() override;

    void setProfiles(SharedProfiles* list) { profiles = list; }
    void setClock(const DayClock* dayClock) { clock = dayClock; }
    void setPeriod(std::chrono::milliseconds value) { periodMs.store(value.count()); }
    // Where each profile's bytes also go by program and interface (none: not kept). Set
    // before counting starts.
    void setAttributedTotals(AttributedTotals* totals) { attributed = totals; }

    // Accounts one flow record of the machine's own traffic (from any packet source, any
    // thread) for every profile: received is a download, sent an upload. The Default profile
    // takes every flow, another profile those whose local address is its bound address; then
    // each profile's filters decide on the remote address and port. A record without its ends
    // (family 0) counts for the profiles that count every address, whatever their filters.
    void countFlow(const FlowKey& key, const FlowCount& count);
    // The same for several records at once, as if counted one after the other at the same
    // moment: one clock reading, the guard taken once, and each profile's day, hour, program
    // and live counters added to once per batch instead of once per record (a source that
    // hands many records a second, the ring, counts through a FlowBatch). Holds the guard
    // shared while it counts; takes it exclusively, before counting, only when the date has
    // entered a year or a day the profiles hold no record or hours for yet
    // (SharedProfiles::prepareYear, prepareHours).
    void countFlows(std::span<const FlowRecord> records);

    // Read on every record, written when the window selects another profile. Kept off the
    // cache line of the counters below, which every record writes: capture threads on other
    // cores would otherwise miss on it, and on the fields after it, at every record.
    alignas(64) std::atomic<std::uint32_t> selectedProfile{0};

    // Bytes and header allowance of the selected profile since the last tick: exact counts.
    alignas(64) std::atomic<std::uint64_t> downloadBytes{0};
    std::atomic<std::uint64_t> uploadBytes{0};
    std::atomic<std::uint64_t> downloadOverhead{0};
    std::atomic<std::uint64_t> uploadOverhead{0};

    // One sampling step: ring store, weighted averages, four callbacks, clearing. run() calls
    // it once a period; tests call it directly.
    void tick();

    // Every profile's bytes of the recent periods per program, ended with each tick.
    const ApplicationRates& recentRates() const { return rates; }

protected:
    void run() override;
    void wake() override;

private:
    bool accountOneFlow(const FlowKey& key, const FlowCount& count, const LocalHour& hour);
    bool accountBatch(std::span<const FlowRecord> records, const LocalHour& hour);

    alignas(64) ReadoutCallback callback;
    SharedProfiles* profiles = nullptr;
    const DayClock* clock = &DayClock::system();
    AttributedTotals* attributed = nullptr;
    ApplicationRates rates;

    // Meter-thread state: touched by tick() only.
    std::array<std::array<float, kRingLength>, 4> sampleRing{};
    std::uint32_t ringIndex = 0;
    float averageDownload = 0, averageUpload = 0;
    float averageDownloadOverhead = 0, averageUploadOverhead = 0;

    std::atomic<std::int64_t> periodMs{1000};
    std::mutex wakeMutex;
    std::condition_variable wakeSignal;
};
