#pragma once
// Base of every thread object of the engine: the meter, the address watcher and each capture.

#include <atomic>
#include <string>
#include <thread>

class CWorkerThread {
public:
    CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    // Derived classes call stopAndWait() in their own destructor, before their members go.
    virtual ~CWorkerThread();

    // Starts run() on a new thread (after ending one still held). The running flag is already
    // true when run() first tests it; it is false again when the thread could not be created.
    // `threadName` (at most 15 characters) is what `top -H` shows.
    bool start(const std::string& threadName = "velmora-worker");
    // Clears the running flag, wakes the thread and joins it. No thread is ever killed: a
    // thread blocked in a wait is woken through wake().
    void terminate();
    void stopAndWait();

    bool isRunning() const { return running.load(std::memory_order_acquire); }
    bool hasThread() const { return thread.joinable(); }

protected:
    virtual void run() {}
    // Called after the running flag was cleared; wakes a run() that is waiting.
    virtual void wake() {}

    std::atomic<bool> running{false};

private:
    std::thread thread;
};
