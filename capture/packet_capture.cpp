#include "capture/packet_capture.h"

#include "base/program_log.h"
#include "capture/capture_filter.h"
#include "capture/counting_rules.h"

#include "capture/socket_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <unistd.h>

#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/eventfd.h>

// The kernel source reads no further into a packet than the ring keeps of it, so both see the
// same headers (an IPv6 chain that ends beyond them gives neither source ports).
static_assert(CPacketCapture::kSnapLength + CPacketCapture::kLinkHeaderRoom == VELMORA_SNAP_FROM_LINK);

namespace {

// POLLERR without any error left to read, this many times in a row: the socket is broken.
constexpr int kErrorWakeLimit = 8;
// PACKET_STATISTICS is read at most this often while packets arrive.
constexpr auto kStatisticsPeriod = std::chrono::seconds(1);
// After packets, or while drops are still to be told on stderr, the thread wakes at least
// this often, packets or none: the last drops of a burst are read and told without waiting
// for the next packet.
constexpr int kStatisticsWakeMs = 1000;
// A failing receive is tried again this often, on the same socket.
constexpr int kRetryPauseMs = 1000;

} // namespace

CPacketCapture::CPacketCapture(PacketHandler packetHandler, WalkEndHandler walkEndHandler)
    : handler(std::move(packetHandler)), walkEnd(std::move(walkEndHandler))
{
    if (!handler)
        handler = [](const CapturedPacket&) {};
}

CPacketCapture::~CPacketCapture()
{
    close();
}

bool CPacketCapture::open(CaptureSocket handedOver)
{
    close();
    std::lock_guard lifecycle(lifecycleGuard);
    failed.store(false, std::memory_order_release);
    {
        std::lock_guard lock(stateGuard);
        failure.clear();
        failureErrno = 0;
        if (!handedOver.isOpen()) {
            failureErrno = handedOver.openError() != 0 ? handedOver.openError() : EBADF;
            failure = recordErrno(failureErrno);
            return false;
        }
        socket = handedOver.release();
        if (!configureSocket()) {
            ring.release();
            socket.reset();
            if (wakeEvent >= 0)
                ::close(wakeEvent);
            wakeEvent = -1;
            return false;
        }
    }
    if (start("velmora-capture"))
        return true;
    std::lock_guard lock(stateGuard);
    failureErrno = EAGAIN;
    failure = recordErrno(EAGAIN);
    return false;
}

// Caller holds stateGuard. Filter and ring come before the bind: the socket was opened with
// protocol 0 and receives nothing until bind names ETH_P_ALL, so no unfiltered packet gets in.
// ETH_P_ALL rather than ETH_P_IP, because only ETH_P_ALL sockets see the machine's own outgoing
// packets (they are handed to taps through dev_queue_xmit_nit). Interface 0: all of them.
bool CPacketCapture::configureSocket()
{
    wakeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeEvent < 0) {
        failureErrno = errno;
        failure = recordErrno(failureErrno);
        return false;
    }
    if (!attachFilter() || !ring.setup(*socket) || !socket->bindInterface(0, ETH_P_ALL)) {
        failureErrno = errno != 0 ? errno : EIO;
        failure = socket->lastError().empty() ? errorText() : socket->lastError();
        return false;
    }
    return true;
}

// Caller holds stateGuard. Replacing a filter is atomic: each packet meets the old or the new.
bool CPacketCapture::attachFilter()
{
    std::vector<sock_filter> program;
    {
        std::lock_guard lock(countedGuard);
        program = captureFilter(counted.interfaces(), kSnapLength + kLinkHeaderRoom);
    }
    sock_fprog attached{static_cast<unsigned short>(program.size()), program.data()};
    if (socket->setOptionBytes(SOL_SOCKET, SO_ATTACH_FILTER, &attached, sizeof attached))
        return true;
    // Refused (memory for the program, say): keep every interface's packets rather than the
    // old set's only; the capture thread leaves out the others itself.
    program = everyInterfaceFilter(kSnapLength + kLinkHeaderRoom);
    attached = {static_cast<unsigned short>(program.size()), program.data()};
    return socket->setOptionBytes(SOL_SOCKET, SO_ATTACH_FILTER, &attached, sizeof attached);
}

void CPacketCapture::close()
{
    std::lock_guard lifecycle(lifecycleGuard);
    stopAndWait();
    std::lock_guard lock(stateGuard);
    if (socket == nullptr)
        return;
    // What arrived before the close is counted: the kernel hands over the block it is filling
    // when its timeout runs out, so wait that long once and walk the ring a last time.
    if (!failed.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(PacketRing::kBlockTimeoutMs + 10));
        MachineAddresses countedCopy;
        std::uint64_t version = ~std::uint64_t(0);
        handOverBlocks(countedCopy, version);
    }
    collectStatistics();
    logLine(drops.closingLine()); // nothing when there was no drop
    ring.release();
    socket->close();
    socket.reset();
    if (wakeEvent >= 0)
        ::close(wakeEvent);
    wakeEvent = -1;
}

void CPacketCapture::setMachineAddresses(MachineAddresses addresses)
{
    std::lock_guard state(stateGuard);
    bool sameInterfaces = false;
    {
        std::lock_guard lock(countedGuard);
        if (addresses == counted)
            return;
        sameInterfaces = addresses.interfaces() == counted.interfaces();
        counted = std::move(addresses);
        countedVersion.fetch_add(1, std::memory_order_release);
    }
    // Packets of other interfaces no longer take room in the ring.
    if (socket != nullptr && !sameInterfaces)
        attachFilter();
}

std::vector<int> CPacketCapture::countedInterfaces() const
{
    std::lock_guard lock(countedGuard);
    return counted.interfaces();
}

// Capture thread: copies the counted set when it changed since `version`.
void CPacketCapture::refreshCounted(MachineAddresses& copy, std::uint64_t& version) const
{
    if (countedVersion.load(std::memory_order_acquire) == version)
        return;
    std::lock_guard lock(countedGuard);
    copy = counted;
    version = countedVersion.load(std::memory_order_relaxed);
}

std::string CPacketCapture::failureText() const
{
    std::lock_guard lock(stateGuard);
    return failure;
}

std::string CPacketCapture::failureReason() const
{
    std::lock_guard lock(stateGuard);
    if (failure.empty())
        return {};
    std::string reason = std::strerror(failureErrno != 0 ? failureErrno : EIO);
    if (failureErrno == EPERM || failureErrno == EACCES)
        reason += " (opening a packet socket needs the CAP_NET_RAW capability)";
    return reason;
}

bool CPacketCapture::isOpen() const
{
    std::lock_guard lock(stateGuard);
    return socket != nullptr;
}

// The capture thread, or close() after the join. Reading the statistics also clears them in
// the kernel: they are added up here.
void CPacketCapture::collectStatistics()
{
    tpacket_stats_v3 statistics{};
    socklen_t size = sizeof statistics;
    if (socket == nullptr || !socket->readOption(SOL_PACKET, PACKET_STATISTICS, &statistics, &size))
        return;
    // Called with no new drops too: drops kept back by the quiet period are told once it ends.
    if (statistics.tp_drops == 0 && !drops.hasUntold())
        return;
    addProcessKernelDrops(statistics.tp_drops);
    const std::string line = drops.add(statistics.tp_drops, DropReport::Clock::now());
    droppedTotal.store(drops.total(), std::memory_order_relaxed);
    if (!line.empty())
        logLine(line);
}

void CPacketCapture::wake()
{
    // The thread sleeps in poll on the socket and this eventfd; shutdown would not wake a
    // packet socket, and closing it under a blocked thread is unsafe.
    const std::uint64_t one = 1;
    if (wakeEvent >= 0 && ::write(wakeEvent, &one, sizeof one) < 0) {
        // The counter is full only if it was never read: the thread is awake already.
    }
}

void CPacketCapture::fail(int errnoValue)
{
    {
        std::lock_guard lock(stateGuard);
        failure = recordErrno(errnoValue);
        failureErrno = errnoValue;
    }
    if (!failed.exchange(true, std::memory_order_acq_rel))
        logLine(std::string("the packet capture fails (") + std::strerror(errnoValue) +
                "); nothing is counted until it works again");
    // A stop request (close() writes the eventfd) ends the pause at once; the loop then sees it.
    pollfd stop = {wakeEvent, POLLIN, 0};
    ::poll(&stop, 1, kRetryPauseMs);
}

void CPacketCapture::recover()
{
    {
        std::lock_guard lock(stateGuard);
        failure.clear();
        failureErrno = 0;
    }
    failed.store(false, std::memory_order_release);
    logLine("the packet capture works again");
}

// The socket reported an error (POLLERR). Returns false when the capture cannot go on.
bool CPacketCapture::handleSocketError(int& emptyErrorWakes)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (!socket->readOption(SOL_SOCKET, SO_ERROR, &error, &size)) {
        fail(errno != 0 ? errno : EIO);
        return false;
    }
    // An error that cannot be cleared would wake poll at once for ever: give up rather than
    // spin.
    emptyErrorWakes = error == 0 ? emptyErrorWakes + 1 : 0;
    if (emptyErrorWakes >= kErrorWakeLimit) {
        emptyErrorWakes = 0;
        fail(EIO);
        return false;
    }
    return true;
}

std::size_t CPacketCapture::handOverBlocks(MachineAddresses& countedCopy, std::uint64_t& version)
{
    refreshCounted(countedCopy, version);
    std::size_t handed = 0;
    const std::size_t walked = ring.drain([&](const RingPacket& packet) {
        // The loopback and interfaces without a local address are not this machine's
        // metered traffic (a bridge's port sees its bridge's packets once more).
        if (!countedCopy.counts(packet.interfaceIndex))
            return;
        const std::optional<PacketWay> way =
            ownPacketWay(countedCopy, packet.interfaceIndex, packet.packetType, packet.data, packet.captured,
                         packet.linkSource);
        if (!way)
            return;
        handler(CapturedPacket{packet.data, std::int32_t(packet.length), packet.captured, packet.offload, *way,
                               packet.interfaceIndex});
        ++handed;
    });
    if (handed != 0 && walkEnd)
        walkEnd();
    packetCount.fetch_add(handed, std::memory_order_relaxed);
    return walked;
}

void CPacketCapture::run()
{
    const int handle = socket->socketHandle();
    MachineAddresses countedCopy;
    std::uint64_t seenVersion = ~std::uint64_t(0);
    auto nextStatistics = DropReport::Clock::now();
    std::size_t walkedSinceStatistics = 0;
    int emptyErrorWakes = 0;
    while (running.load(std::memory_order_acquire)) {
        // Every block handed over so far, then sleep until the kernel hands over the next one
        // (poll on a TPACKET_V3 socket: the block before the kernel's current one is ours). No
        // fixed pause: under a flood a pause of a few milliseconds lets the kernel fill the
        // whole ring and drop.
        walkedSinceStatistics += handOverBlocks(countedCopy, seenVersion);
        if (const auto now = DropReport::Clock::now(); now >= nextStatistics) {
            collectStatistics();
            nextStatistics = now + kStatisticsPeriod;
            walkedSinceStatistics = 0;
        }

        pollfd watched[2] = {{handle, POLLIN, 0}, {wakeEvent, POLLIN, 0}};
        const int timeout = walkedSinceStatistics > 0 || drops.hasUntold() ? kStatisticsWakeMs : -1;
        if (::poll(watched, 2, timeout) < 0) {
            if (errno != EINTR)
                fail(errno);
            continue;
        }
        if (watched[1].revents != 0) {
            std::uint64_t value = 0;
            if (::read(wakeEvent, &value, sizeof value) < 0) {
                // Nothing to read: another wake already took it.
            }
            continue;
        }
        if ((watched[0].revents & (POLLHUP | POLLNVAL)) != 0) {
            fail(ENETDOWN);
            continue;
        }
        if ((watched[0].revents & POLLERR) != 0) {
            handleSocketError(emptyErrorWakes);
            continue;
        }
        if (failed.load(std::memory_order_relaxed))
            recover();
    }
}
