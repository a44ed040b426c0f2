#pragma once
// The address watcher: at start and then once a period it lists the machine's addresses
// (IPv4 and IPv6) and hands them to the capture, which counts the interfaces holding one (the
// loopback left out) and from them tells the machine's own traffic from forwarded packets.
// A new address is counted from the next pass on; an interface that lost its last address, or
// went down or away, stops being counted at the next pass.

#include "capture/packet_capture.h"
#include "capture/worker_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class CAddressWatcher : public CWorkerThread {
public:
    // `capture` (not owned) must outlive the watcher.
    explicit CAddressWatcher(CPacketCapture* capture,
                             std::chrono::milliseconds period = std::chrono::seconds(10));
    ~CAddressWatcher() override;

    // One pass; run() makes one at once and then one per period.
    void scanOnce();
    // Passes completed since construction (tests wait for a pass to be over).
    std::uint64_t passes() const { return passCount.load(std::memory_order_acquire); }
    // The machine's addresses the last pass found, by interface.
    std::vector<IpAddress> addresses() const;

protected:
    void run() override;
    void wake() override;

private:
    CPacketCapture* capture;
    const std::chrono::milliseconds period;

    std::mutex scanMutex;           // held for a whole pass
    mutable std::mutex resultGuard; // guards found
    std::vector<IpAddress> found;
    std::mutex pauseMutex; // with pauseSignal: the pause between passes, cut short by wake()
    std::condition_variable pauseSignal;
    std::atomic<std::uint64_t> passCount{0};
};
