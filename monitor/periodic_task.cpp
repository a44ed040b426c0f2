#include "monitor/periodic_saver.h"

CPeriodicSaver::CPeriodicSaver(std::function<void()> saveCall, std::chrono::milliseconds savePeriod)
    : save(std::move(saveCall)), period(savePeriod)
{
}

CPeriodicSaver::~CPeriodicSaver()
{
    stopAndWait();
}

void CPeriodicSaver::run()
{
    // The period counts from the end of the last save, so a slow disk never makes saves pile up.
    while (isRunning()) {
        {
            std::unique_lock lock(wakeMutex);
            wakeSignal.wait_for(lock, period, [this] { return !isRunning(); });
        }
        if (!isRunning())
            break;
        save();
    }
}

void CPeriodicSaver::wake()
{
    std::lock_guard lock(wakeMutex);
    wakeSignal.notify_all();
}
