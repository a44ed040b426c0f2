#include "capture/address_watcher.h"

CAddressWatcher::CAddressWatcher(CPacketCapture* packetCapture, std::chrono::milliseconds pause)
    : capture(packetCapture), period(pause)
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
    std::lock_guard lock(scanMutex);
    std::vector<int> interfaces;
    std::vector<std::string> addresses;
    for (const LocalAddress& local : listLocalAddresses()) {
        interfaces.push_back(local.interfaceIndex);
        addresses.push_back(local.address);
    }
    if (capture != nullptr)
        capture->setCountedInterfaces(std::move(interfaces));
    {
        std::lock_guard result(resultGuard);
        found = std::move(addresses);
    }
    passCount.fetch_add(1, std::memory_order_acq_rel);
}

std::vector<std::string> CAddressWatcher::addresses() const
{
    std::lock_guard lock(resultGuard);
    return found;
}
