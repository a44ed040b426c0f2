#pragma once
// Calls a save once a period on a thread of its own, so the day totals reach the disk while
// the program runs: a killed process loses at most one period of counting.

#include "capture/worker_thread.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class CPeriodicSaver : public CWorkerThread {
public:
    CPeriodicSaver(std::function<void()> save, std::chrono::milliseconds period);
    ~CPeriodicSaver() override;

protected:
    void run() override;
    void wake() override;

private:
    std::function<void()> save;
    const std::chrono::milliseconds period;
    std::mutex wakeMutex;
    std::condition_variable wakeSignal;
};
