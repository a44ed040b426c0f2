#include "service/service_loop.h"

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <pthread.h>

namespace {

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void ServiceLoop::blockStopSignals()
{
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int ServiceLoop::run()
{
    const sigset_t set = stopSignals();
    std::vector<Clock::time_point> due;
    for (const Task& task : tasks)
        due.push_back(Clock::now() + task.period);
    for (;;) {
        const Clock::time_point next =
            due.empty() ? Clock::now() + std::chrono::hours(1) : *std::min_element(due.begin(), due.end());
        const auto wait = std::max(Clock::duration::zero(), next - Clock::now());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
        const timespec timeout{static_cast<time_t>(seconds.count()),
                               static_cast<long>(std::chrono::nanoseconds(wait - seconds).count())};
        const int signal = ::sigtimedwait(&set, nullptr, &timeout);
        if (signal == SIGHUP && onHangUp)
            onHangUp(); // then on to the tasks due, so a stream of SIGHUPs cannot hold them off
        else if (signal > 0)
            return signal;
        else if (errno != EAGAIN && errno != EINTR)
            return SIGTERM; // cannot wait: end as if told to, so the profiles are saved
        const Clock::time_point now = Clock::now();
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            if (due[i] > now)
                continue;
            tasks[i].run();
            due[i] = std::max(due[i] + tasks[i].period, Clock::now());
        }
    }
}
