// Starting, stopping and restarting worker threads: a thread blocked in a wait is woken, never
// killed, and every start is matched by exactly one ended run.

#include "capture/worker_thread.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <utility>

namespace {

class BlockingWorker : public CWorkerThread {
public:
    ~BlockingWorker() override { stopAndWait(); }

    void waitUntilStarted()
    {
        std::unique_lock lock(mutex);
        signal.wait(lock, [this] { return runsStarted > runsEnded; });
    }

    int runsStarted = 0; // guarded by mutex
    int runsEnded = 0;
    int mostAtOnce = 0;
    std::mutex mutex;

protected:
    // Waits for wake() without any time-out, as a blocked receive would.
    void run() override
    {
        std::unique_lock lock(mutex);
        ++runsStarted;
        mostAtOnce = std::max(mostAtOnce, runsStarted - runsEnded);
        signal.notify_all();
        signal.wait(lock, [this] { return !running.load(); });
        ++runsEnded;
    }

    void wake() override
    {
        std::lock_guard lock(mutex);
        signal.notify_all();
    }

private:
    std::condition_variable signal;
};

// terminate() ends the thread the same way as stopAndWait(): woken, never killed.
TEST(WorkerThread, StopAndTerminateWakeABlockedRunAndJoinIt)
{
    const std::pair<const char*, void (CWorkerThread::*)()> endings[] = {
        {"stopAndWait", &CWorkerThread::stopAndWait}, {"terminate", &CWorkerThread::terminate}};
    for (const auto& [label, end] : endings) {
        BlockingWorker worker;
        EXPECT_FALSE(worker.isRunning()) << label;
        ASSERT_TRUE(worker.start("velmora-test")) << label;
        EXPECT_TRUE(worker.isRunning()) << label;
        worker.waitUntilStarted();
        (worker.*end)();
        EXPECT_FALSE(worker.isRunning()) << label;
        EXPECT_FALSE(worker.hasThread()) << label;
        EXPECT_EQ(worker.runsEnded, 1) << label;
        (worker.*end)(); // nothing left to end
        EXPECT_EQ(worker.runsStarted, 1) << label;
    }
}

TEST(WorkerThread, StartingAgainEndsTheEarlierThreadFirst)
{
    BlockingWorker worker;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(worker.start());
        worker.waitUntilStarted();
    }
    worker.stopAndWait();
    EXPECT_EQ(worker.runsStarted, 3);
    EXPECT_EQ(worker.runsEnded, 3);
    EXPECT_EQ(worker.mostAtOnce, 1);
}

TEST(WorkerThread, DestructionWakesAndJoinsARunningThread)
{
    // A thread still joinable at destruction would end the process (std::terminate).
    BlockingWorker worker;
    ASSERT_TRUE(worker.start());
    worker.waitUntilStarted();
}

} // namespace
