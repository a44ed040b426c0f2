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
    // A list that could not be read (no memory, no descriptor left) says nothing about the
    // addresses: the last one stays in force rather than counting nothing until the next pass.
    if (std::optional<MachineAddresses> machine = listMachineAddresses()) {
        std::vector<IpAddress> addresses;
        for (const MachineAddress& entry : machine->entries())
            addresses.push_back(entry.address);
        {
            std::lock_guard result(resultGuard);
            found = std::move(addresses);
        }
        if (capture != nullptr)
            capture->setMachineAddresses(std::move(*machine));
    }
    passCount.fetch_add(1, std::memory_order_acq_rel);
}

std::vector<IpAddress> CAddressWatcher::addresses() const
{
    std::lock_guard lock(resultGuard);
    return found;
}
