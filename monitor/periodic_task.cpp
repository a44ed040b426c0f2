#include "monitor/periodic_task.h"

CPeriodicTask::CPeriodicTask(std::function<void()> periodicTask, std::chrono::milliseconds taskPeriod)
    : task(std::move(periodicTask)), period(taskPeriod)
{
}

CPeriodicTask::~CPeriodicTask()
{
    stopAndWait();
}

void CPeriodicTask::run()
{
    // The period counts from the end of the last run, so a slow disk never makes runs pile up.
    while (isRunning()) {
        {
            std::unique_lock lock(wakeMutex);
            wakeSignal.wait_for(lock, period, [this] { return !isRunning(); });
        }
        if (!isRunning())
            break;
        task();
    }
}

void CPeriodicTask::wake()
{
    std::lock_guard lock(wakeMutex);
    wakeSignal.notify_all();
}
