#include "capture/kernel_source.h"

#include "base/program_log.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long the helper may take to load and attach the programs (the verifier is slow on a
// busy machine), and to end once its socket is closed.
constexpr int kLoadPatienceMs = 20000;
constexpr auto kEndPatience = std::chrono::seconds(5);

constexpr std::size_t kLargestMessage = sizeof(HelperHeader) + kHelperBatch * sizeof(KernelFlowRecord);

IpAddress addressOf(const velmora_u8* bytes)
{
    return IpAddress::fromV6(bytes);
}

// Waits for the helper's end, killing it when it outstays `patience`.
void reap(pid_t helper, std::chrono::steady_clock::duration patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (::waitpid(helper, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(helper, SIGKILL);
            ::waitpid(helper, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

FlowKey flowKeyOf(const velmora_flow_key& key)
{
    FlowKey flow;
    flow.local = addressOf(key.local);
    flow.remote = addressOf(key.remote);
    flow.localPort = key.localPort;
    flow.remotePort = key.remotePort;
    flow.protocol = key.protocol;
    flow.direction = key.direction == VELMORA_SENT ? PacketWay::Sent : PacketWay::Received;
    flow.family = key.family;
    flow.interfaceIndex = int(key.interfaceIndex);
    flow.cgroup = key.cgroup;
    return flow;
}

FlowCount flowCountOf(const velmora_flow_count& count)
{
    return {count.bytes, count.overhead, count.packets};
}

std::unique_ptr<KernelSource> KernelSource::launch(std::string& failure, KernelHooks hooks)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        failure = std::string("no socket for the kernel counting helper: ") + std::strerror(errno);
        return nullptr;
    }
    const pid_t program = ::getpid();
    const pid_t helper = ::fork();
    if (helper < 0) {
        failure = std::string("the kernel counting helper could not start: ") + std::strerror(errno);
        ::close(ends[0]);
        ::close(ends[1]);
        return nullptr;
    }
    if (helper == 0) {
        ::close(ends[0]);
        runKernelHelper(ends[1], program, hooks);
    }
    ::close(ends[1]);
    // The helper's first message: loaded, or refused and why.
    std::vector<char> message(kLargestMessage);
    pollfd answer{ends[0], POLLIN, 0};
    const ssize_t got = ::poll(&answer, 1, kLoadPatienceMs) == 1 ? ::recv(ends[0], message.data(), message.size(), 0) : -1;
    HelperHeader header{};
    if (got >= ssize_t(sizeof header))
        std::memcpy(&header, message.data(), sizeof header);
    const std::string text(message.data() + std::min<std::size_t>(sizeof header, std::size_t(std::max<ssize_t>(got, 0))),
                           message.data() + std::max<ssize_t>(got, 0));
    if (got < ssize_t(sizeof header) || header.kind != HelperMessage::Loaded) {
        failure = got >= ssize_t(sizeof header) && header.kind == HelperMessage::Refused
                      ? text
                      : "the kernel counting helper did not answer";
        ::close(ends[0]);
        reap(helper, kEndPatience);
        return nullptr;
    }
    return std::unique_ptr<KernelSource>(new KernelSource(ends[0], helper, text));
}

KernelSource::KernelSource(int socket, pid_t process, std::string hooks)
    : channel(socket), helper(process), hookName(std::move(hooks))
{
}

KernelSource::~KernelSource()
{
    close();
}

bool KernelSource::run(FlowHandler flowHandler)
{
    handler = std::move(flowHandler);
    return CWorkerThread::start("velmora-kernel");
}

bool KernelSource::drainNow(std::chrono::milliseconds patience)
{
    std::unique_lock lock(drainGuard);
    if (channel < 0 || !isUp())
        return false;
    const std::uint64_t serial = ++requested;
    if (::send(channel, &serial, sizeof serial, MSG_NOSIGNAL) != ssize_t(sizeof serial))
        return false;
    return drained.wait_for(lock, patience, [&] { return served >= serial || !isUp(); }) && served >= serial;
}

void KernelSource::close()
{
    stopAndWait();
    if (channel >= 0) {
        ::close(channel);
        channel = -1;
    }
    if (helper > 0) {
        reap(helper, kEndPatience);
        helper = -1;
    }
    ended.store(true, std::memory_order_release);
}

std::string KernelSource::failure() const
{
    return isUp() ? std::string() : "the kernel counting helper ended";
}

// Ends the socket for both sides: the thread's receive returns, and the helper sees the end.
void KernelSource::wake()
{
    if (channel >= 0)
        ::shutdown(channel, SHUT_RDWR);
}

void KernelSource::run()
{
    std::vector<char> message(kLargestMessage);
    while (running.load(std::memory_order_acquire)) {
        const ssize_t got = ::recv(channel, message.data(), message.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < ssize_t(sizeof(HelperHeader))) {
            if (running.load(std::memory_order_acquire))
                logLine("the kernel counting helper ended; nothing is counted from now on");
            break;
        }
        handleMessage(message.data(), std::size_t(got));
    }
    {
        std::lock_guard lock(drainGuard);
        ended.store(true, std::memory_order_release);
    }
    drained.notify_all();
}

void KernelSource::handleMessage(const char* data, std::size_t size)
{
    HelperHeader header;
    std::memcpy(&header, data, sizeof header);
    if (header.kind == HelperMessage::DrainEnd) {
        {
            std::lock_guard lock(drainGuard);
            served = std::max(served, header.serial);
        }
        drained.notify_all();
        return;
    }
    if (header.kind != HelperMessage::Flows || size < sizeof header + header.count * sizeof(KernelFlowRecord))
        return;
    for (std::uint32_t i = 0; i < header.count; ++i) {
        KernelFlowRecord record;
        std::memcpy(&record, data + sizeof header + i * sizeof record, sizeof record);
        handler(flowKeyOf(record.key), flowCountOf(record.count));
    }
}
