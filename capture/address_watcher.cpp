#include "capture/address_watcher.h"

#include <algorithm>

CAddressWatcher::CAddressWatcher(PacketHandler packetHandler, CaptureList* captureList,
                                 std::chrono::milliseconds pause)
    : handler(std::move(packetHandler)), captures(captureList), period(pause)
{
}

CAddressWatcher::~CAddressWatcher()
{
    stopAndWait();
}

void CAddressWatcher::run()
{
    while (running.load(std::memory_order_acquire)) {
        scanOnce();
        std::unique_lock lock(pauseMutex);
        pauseSignal.wait_for(lock, period, [this] { return !running.load(std::memory_order_acquire); });
    }
}

void CAddressWatcher::wake()
{
    // Taking the mutex orders this notification after the loop's test of the flag, so the
    // wake-up cannot fall between that test and the wait.
    { std::lock_guard lock(pauseMutex); }
    pauseSignal.notify_all();
}

void CAddressWatcher::scanOnce()
{
    if (captures == nullptr)
        return;
    std::lock_guard lock(scanMutex);
    const std::vector<LocalAddress> current = listLocalAddresses();
    captures->removeStale([&](const std::string& address, CPacketCapture& capture) {
        return isStale(address, capture, current);
    });
    for (const LocalAddress& local : current) {
        if (captures->contains(local.address))
            continue;
        if (!addCapture(local))
            break; // the list is closed: shutdown has begun
    }
    passCount.fetch_add(1, std::memory_order_acq_rel);
}

// A capture is given up when its receive failed for good, or when its interface is gone (a
// deleted interface's socket stays silent for ever, even if one of the same name comes back).
// An address that moved to another interface leaves the old interface's capture.
// An address that merely disappeared keeps its entry while the interface exists.
bool CAddressWatcher::isStale(const std::string& address, CPacketCapture& capture,
                              const std::vector<LocalAddress>& current) const
{
    if (capture.hasFailed() || !interfaceExists(capture.interfaceIndex(), capture.interfaceName()))
        return true;
    const auto listed = std::find_if(current.begin(), current.end(),
                                     [&](const LocalAddress& local) { return local.address == address; });
    return listed != current.end() && listed->interfaceIndex != capture.interfaceIndex();
}

// Returns false only when the list refused the capture because it is closed.
bool CAddressWatcher::addCapture(const LocalAddress& local)
{
    if (std::shared_ptr<CPacketCapture> shared = captures->findInterface(local.interfaceIndex))
        return captures->append(local.address, std::move(shared));
    auto capture = std::make_shared<CPacketCapture>(handler);
    if (!capture->open(local))
        return true; // tried again on the next pass
    if (captures->append(local.address, capture))
        return true;
    capture->close();
    return false;
}
