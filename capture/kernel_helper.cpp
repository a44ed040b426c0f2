#include "capture/kernel_helper.h"

#include "base/program_log.h"
#include "capture/kernel_flow_counter.h"
#include "capture/privilege.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <linux/capability.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDrainPeriod = std::chrono::seconds(1);

bool sendAll(int channel, const void* data, std::size_t size)
{
    return ::send(channel, data, size, MSG_NOSIGNAL) == ssize_t(size);
}

bool sendText(int channel, HelperMessage kind, const std::string& text)
{
    std::vector<char> message(sizeof(HelperHeader) + text.size());
    const HelperHeader header{kind, 0, 0};
    std::memcpy(message.data(), &header, sizeof header);
    std::memcpy(message.data() + sizeof header, text.data(), text.size());
    return sendAll(channel, message.data(), message.size());
}

// Route netlink's link and address groups: a message arrives whenever an interface comes,
// goes, goes up or down, or an address is added or removed (rtnetlink(7)).
int openRouteWatch()
{
    const int watch = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (watch < 0)
        return -1;
    sockaddr_nl groups{};
    groups.nl_family = AF_NETLINK;
    groups.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (::bind(watch, reinterpret_cast<const sockaddr*>(&groups), sizeof groups) != 0) {
        ::close(watch);
        return -1;
    }
    return watch;
}

// Reads every message waiting; their content does not matter, the machine's list is read anew.
// An overrun (ENOBUFS) means changes were missed: the new list covers them too.
void emptyRouteWatch(int watch)
{
    char buffer[8192];
    while (::recv(watch, buffer, sizeof buffer, 0) > 0 || errno == ENOBUFS) {
    }
}

class Helper {
public:
    Helper(int channel, KernelFlowCounter& counter) : channel(channel), counter(counter) {}

    // Attaches to the interfaces the machine counts now; a failure is told once per change.
    void follow()
    {
        const std::optional<MachineAddresses> machine = listMachineAddresses();
        if (!machine)
            return;
        const bool attached = counter.setMachineAddresses(*machine);
        if (!attached && counter.lastError() != toldError)
            logLine("the kernel counting could not follow an interface: " + counter.lastError());
        toldError = attached ? std::string() : counter.lastError();
    }

    // Reads the tables and sends their flows; false when the program is gone.
    bool drain()
    {
        std::vector<char> message(sizeof(HelperHeader) + kHelperBatch * sizeof(KernelFlowRecord));
        std::uint32_t batched = 0;
        bool sent = true;
        const auto flush = [&] {
            const HelperHeader header{HelperMessage::Flows, batched, 0};
            std::memcpy(message.data(), &header, sizeof header);
            sent = sent && sendAll(channel, message.data(), sizeof header + batched * sizeof(KernelFlowRecord));
            batched = 0;
        };
        counter.drain([&](const velmora_flow_key& key, const velmora_flow_count& count) {
            const KernelFlowRecord record{key, count};
            std::memcpy(message.data() + sizeof(HelperHeader) + batched * sizeof record, &record, sizeof record);
            if (++batched == kHelperBatch)
                flush();
        });
        if (batched > 0)
            flush();
        return sent;
    }

    bool answer(std::uint64_t serial)
    {
        const HelperHeader end{HelperMessage::DrainEnd, 0, serial};
        return drain() && sendAll(channel, &end, sizeof end);
    }

private:
    int channel;
    KernelFlowCounter& counter;
    std::string toldError;
};

} // namespace

void runKernelHelper(int channel, pid_t program, KernelHooks hooks)
{
    // SIGTERM: what the kernel sends when the program dies. A stop request of the terminal or
    // the service manager (SIGINT, SIGHUP, SIGTERM to the group) is the program's to handle:
    // it asks for a last read of the tables before it closes the socket.
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    const int signals = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    prctl(PR_SET_NAME, "velmora-bpf");
    if (::getppid() != program) // the program died before the line above
        _exit(0);

    std::string failure;
    // CAP_PERFMON lets the programs read a received packet's socket (its application); a binary
    // given only the other two still counts, with received packets as the system's.
    if (!keepOnlyCapabilities({CAP_BPF, CAP_NET_ADMIN, CAP_PERFMON}, &failure) &&
        !keepOnlyCapabilities({CAP_BPF, CAP_NET_ADMIN}, &failure))
        dropAllCapabilities(); // not held: the kernel refuses the programs below and says why
    std::unique_ptr<KernelFlowCounter> counter = KernelFlowCounter::load(failure, hooks);
    if (counter == nullptr) {
        sendText(channel, HelperMessage::Refused, failure);
        _exit(0);
    }
    Helper helper(channel, *counter);
    const int watch = openRouteWatch();
    helper.follow();
    if (!sendText(channel, HelperMessage::Loaded, counter->hooksName())) {
        counter.reset();
        _exit(0);
    }

    auto nextDrain = Clock::now() + kDrainPeriod;
    for (bool serving = true; serving;) {
        pollfd watched[3] = {{channel, POLLIN, 0}, {watch, POLLIN, 0}, {signals, POLLIN, 0}};
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextDrain - Clock::now());
        const int ready = ::poll(watched, 3, int(std::max<long long>(0, wait.count())));
        if (ready < 0 && errno != EINTR)
            break;
        if (watched[2].revents != 0) {
            signalfd_siginfo received{};
            if (::read(signals, &received, sizeof received) > 0 && ::getppid() != program)
                break; // the program is gone
        }
        if (watched[1].revents != 0) {
            emptyRouteWatch(watch);
            helper.follow();
        }
        if (watched[0].revents != 0) {
            std::uint64_t serial = 0;
            const ssize_t got = ::recv(channel, &serial, sizeof serial, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
                break; // the program closed its end or died
            if (got == ssize_t(sizeof serial) && !helper.answer(serial))
                break;
        }
        if (Clock::now() >= nextDrain) {
            serving = helper.drain();
            nextDrain = Clock::now() + kDrainPeriod;
        }
    }
    // Detaches every program (and removes classic tc filters, which outlive their process).
    counter.reset();
    _exit(0);
}
