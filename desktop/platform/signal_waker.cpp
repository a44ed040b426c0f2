#include "desktop/platform/signal_waker.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The eventfd the handler writes to; -1 while no waker exists.
std::atomic<int> wakeFd{-1};

extern "C" void onSignal(int)
{
    const int savedErrno = errno;
    const int fd = wakeFd.load();
    if (fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
    }
    errno = savedErrno;
}

} // namespace

SignalWaker::SignalWaker(QObject* parent) : QObject(parent)
{
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        return;
    wakeFd.store(fd);
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SignalWaker::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

SignalWaker::~SignalWaker()
{
    if (notifier == nullptr)
        return;
    // Back to the default actions before the descriptor goes.
    for (int number : kSignals)
        std::signal(number, SIG_DFL);
    const int fd = wakeFd.exchange(-1);
    delete notifier;
    ::close(fd);
}

void SignalWaker::drain()
{
    std::uint64_t count = 0;
    if (::read(wakeFd.load(), &count, sizeof count) == sizeof count && count > 0)
        emit signalled();
}
