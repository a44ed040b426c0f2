#pragma once
// The run of the headless service: periodic tasks (saving, the metrics file) on the main
// thread until SIGTERM or SIGINT; SIGHUP runs the reload task when there is one (and stops the
// run when there is none). The signals are blocked in every thread and taken with sigtimedwait,
// so no handler runs in the middle of a save and no worker is interrupted.

#include <chrono>
#include <functional>
#include <vector>

class ServiceLoop {
public:
    using Clock = std::chrono::steady_clock;
    struct Task {
        std::chrono::milliseconds period;
        std::function<void()> run;
    };

    // Blocks SIGTERM, SIGINT and SIGHUP in the calling thread; threads started afterwards
    // inherit the mask. Call it before the engine starts any thread.
    static void blockStopSignals();

    explicit ServiceLoop(std::vector<Task> tasks, std::function<void()> onHangUp = {})
        : tasks(std::move(tasks)), onHangUp(std::move(onHangUp))
    {
    }

    // Runs each task once per period (the first run one period after the start) until a stop
    // signal arrives; returns that signal's number. A task late by more than a period runs
    // once, not once per missed period.
    int run();

private:
    std::vector<Task> tasks;
    std::function<void()> onHangUp;
};
