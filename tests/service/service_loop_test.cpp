// The service loop with real signals sent to the process.

#include "service/service_loop.h"

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

TEST(ServiceLoop, RunsEachTaskByItsPeriodUntilAStopSignal)
{
    ServiceLoop::blockStopSignals();
    for (int stop : {SIGTERM, SIGINT, SIGHUP}) {
        int fast = 0, slow = 0;
        ServiceLoop loop({
            {std::chrono::milliseconds(5), [&] { ++fast; }},
            {std::chrono::milliseconds(40), [&] {
                 if (++slow == 3)
                     ::kill(::getpid(), stop);
             }},
        });
        EXPECT_EQ(loop.run(), stop);
        EXPECT_EQ(slow, 3);
        EXPECT_GE(fast, slow) << "the shorter period runs at least as often";
    }
}

TEST(ServiceLoop, ASignalAlreadyPendingEndsTheRunBeforeAnyTask)
{
    ServiceLoop::blockStopSignals();
    ::kill(::getpid(), SIGTERM);
    int runs = 0;
    ServiceLoop loop({{std::chrono::milliseconds(0), [&] { ++runs; }}});
    EXPECT_EQ(loop.run(), SIGTERM);
    EXPECT_EQ(runs, 0);
}

TEST(ServiceLoop, HangUpRunsTheReloadAndTheTasksGoOnUntilAStopSignal)
{
    ServiceLoop::blockStopSignals();
    int reloads = 0, runs = 0;
    ServiceLoop loop({{std::chrono::milliseconds(10), [&] {
                          if (++runs == 2)
                              ::kill(::getpid(), SIGHUP);
                          if (runs == 4)
                              ::kill(::getpid(), SIGINT);
                      }}},
                     [&] { ++reloads; });
    EXPECT_EQ(loop.run(), SIGINT);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(runs, 4);
}
