#pragma once
// The address watcher: at start and then once a period it lists the machine's IPv4 addresses,
// drops captures whose interface is gone or whose receive failed, and opens a capture for each
// address that has none (sharing the capture of its interface when there is one).

#include "capture/capture_list.h"
#include "capture/packet_capture.h"
#include "capture/worker_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class CAddressWatcher : public CWorkerThread {
public:
    CAddressWatcher(PacketHandler handler, CaptureList* captures,
                    std::chrono::milliseconds period = std::chrono::seconds(10));
    ~CAddressWatcher() override;

    // One discovery pass; run() makes one at once and then one per period. Passes never
    // overlap (two at once could open two captures of one interface).
    void scanOnce();
    // Passes completed since construction (tests wait for a pass to be over).
    std::uint64_t passes() const { return passCount.load(std::memory_order_acquire); }

protected:
    void run() override;
    void wake() override;

private:
    bool isStale(const std::string& address, CPacketCapture& capture,
                 const std::vector<LocalAddress>& current) const;
    bool addCapture(const LocalAddress& local);

    PacketHandler handler;
    CaptureList* captures; // not owned: the window's list
    const std::chrono::milliseconds period;

    std::mutex scanMutex;  // held for a whole pass
    std::mutex pauseMutex; // with pauseSignal: the pause between passes, cut short by wake()
    std::condition_variable pauseSignal;
    std::atomic<std::uint64_t> passCount{0};
};
