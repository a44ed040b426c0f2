#pragma once
// Calls a task once a period on a thread of its own: the periodic save, so the day totals
// reach the disk while the program runs (a killed process loses at most one period of
// counting), and the quota check.

#include "capture/worker_thread.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class CPeriodicTask : public CWorkerThread {
public:
    CPeriodicTask(std::function<void()> task, std::chrono::milliseconds period);
    ~CPeriodicTask() override;

protected:
    void run() override;
    void wake() override;

private:
    std::function<void()> task;
    const std::chrono::milliseconds period;
    std::mutex wakeMutex;
    std::condition_variable wakeSignal;
};
