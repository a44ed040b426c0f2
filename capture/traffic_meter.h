#pragma once
// The meter: per-packet accounting into every profile's day history, the live counters of the
// selected profile, and the once-a-period sampling loop that turns them into readouts.

#include "capture/captured_packet.h"
#include "capture/packet_decode.h"
#include "capture/wire_packets.h"
#include "capture/worker_thread.h"
#include "profile/profile_list.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

enum class ReadoutKind : std::int8_t { Current = 0, Average = 1, CurrentOverhead = 2, AverageOverhead = 3 };

// Receives (kind, download, upload) in bytes per period, on the meter thread.
using ReadoutCallback = std::function<void(ReadoutKind, float, float)>;

class CTrafficMeter : public CWorkerThread {
public:
    static constexpr std::uint32_t kRingLength = 5;

    explicit CTrafficMeter(ReadoutCallback callback = {}, SharedProfiles* profiles = nullptr);
    ~CTrafficMeter() override;

    void setProfiles(SharedProfiles* list) { profiles = list; }
    void setClock(const DayClock* dayClock) { clock = dayClock; }
    void setPeriod(std::chrono::milliseconds value) { periodMs.store(value.count()); }

    // Accounts one packet of the machine's own traffic for every profile: a received packet
    // is a download, a sent one an upload. The Default profile takes every packet, another
    // profile those whose address at the machine's end is its bound address; then each
    // profile's filters decide on the remote end. A super-packet (offload header) counts as
    // the wire packets it stands for. Holds the guard shared while it counts; takes it
    // exclusively, before counting, only when the date has entered a year the profiles hold
    // no record for yet (SharedProfiles::prepareYear).
    void dispatchPacket(const CapturedPacket& captured);

    // Read on every packet, written when the window selects another profile. Kept off the
    // cache line of the counters below, which every packet writes: capture threads on other
    // cores would otherwise miss on it, and on the fields after it, at every packet.
    alignas(64) std::atomic<std::uint32_t> selectedProfile{0};

    // Bytes and header allowance of the selected profile since the last tick: exact counts.
    alignas(64) std::atomic<std::uint64_t> downloadBytes{0};
    std::atomic<std::uint64_t> uploadBytes{0};
    std::atomic<std::uint64_t> downloadOverhead{0};
    std::atomic<std::uint64_t> uploadOverhead{0};

    // One sampling step: ring store, weighted averages, four callbacks, clearing. run() calls
    // it once a period; tests call it directly.
    void tick();

protected:
    void run() override;
    void wake() override;

private:
    bool accountForEveryProfile(const PacketSummary& packet, PacketWay way, const LocalDate& date);
    void accountSelected(const PacketSummary& packet, bool isDownload);

    alignas(64) ReadoutCallback callback;
    SharedProfiles* profiles = nullptr;
    const DayClock* clock = &DayClock::system();

    // Meter-thread state: touched by tick() only.
    std::array<std::array<float, kRingLength>, 4> sampleRing{};
    std::uint32_t ringIndex = 0;
    float averageDownload = 0, averageUpload = 0;
    float averageDownloadOverhead = 0, averageUploadOverhead = 0;

    std::atomic<std::int64_t> periodMs{1000};
    std::mutex wakeMutex;
    std::condition_variable wakeSignal;
};
