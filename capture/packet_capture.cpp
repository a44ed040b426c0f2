#include "capture/packet_capture.h"

#include "capture/socket_errors.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/eventfd.h>

namespace {

constexpr int kAddressNotAvailable = 10049;
constexpr int kNetworkDown = 10050;
// POLLERR without any error left to read, this many times in a row: the socket is broken.
constexpr int kErrorWakeLimit = 8;

// Without CAP_NET_RAW socket(AF_PACKET) fails with EPERM. Said once per run, on stderr only.
void explainMissingCapability()
{
    static std::atomic<bool> told{false};
    if (told.exchange(true))
        return;
    char path[512] = {};
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    std::fprintf(stderr,
                 "velmora: capturing traffic needs the CAP_NET_RAW capability; grant it with: "
                 "setcap cap_net_raw+ep %s\n",
                 size > 0 ? path : "<binary>");
}

// Socket filter (classic BPF, Documentation/networking/filter.rst) run by the kernel before a
// packet reaches the ring. On a SOCK_DGRAM socket the ancillary load SKF_AD_PROTOCOL gives the
// ethertype (host order) and SKF_AD_PKTTYPE the packet type. It keeps IPv4 only, drops frames
// addressed to other hosts (PACKET_OTHERHOST: the interface may be promiscuous because of
// another program; they are not this machine's traffic) and keeps kSnapLength bytes of each.
constexpr sock_filter kIpv4Filter[] = {
    BPF_STMT(BPF_LD | BPF_H | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PROTOCOL)),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_IP, 0, 3),
    BPF_STMT(BPF_LD | BPF_B | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PKTTYPE)),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_OTHERHOST, 1, 0),
    BPF_STMT(BPF_RET | BPF_K, CPacketCapture::kSnapLength),
    BPF_STMT(BPF_RET | BPF_K, 0),
};

bool findLocalAddress(const std::string& address, LocalAddress& found)
{
    for (const LocalAddress& local : listLocalAddresses()) {
        if (local.address == address) {
            found = local;
            return true;
        }
    }
    return false;
}

} // namespace

CPacketCapture::CPacketCapture(PacketHandler packetHandler) : handler(std::move(packetHandler)) {}

CPacketCapture::~CPacketCapture()
{
    close();
}

bool CPacketCapture::open(const std::string& address, int port)
{
    LocalAddress local;
    if (!findLocalAddress(address, local)) {
        close();
        setLastSocketError(kAddressNotAvailable);
        std::lock_guard lock(stateGuard);
        failure = errorText();
        return false;
    }
    (void)port; // a packet socket is not bound to a port
    return open(local);
}

bool CPacketCapture::open(const LocalAddress& local)
{
    close();
    std::lock_guard lifecycle(lifecycleGuard);
    failed.store(false, std::memory_order_release);
    if (!openSocket(local)) {
        std::lock_guard lock(stateGuard);
        ring.release();
        socket.reset();
        if (wakeEvent >= 0)
            ::close(wakeEvent);
        wakeEvent = -1;
        return false;
    }
    if (start("velmora-capture"))
        return true;
    std::lock_guard lock(stateGuard);
    failure = recordErrno(EAGAIN);
    return false;
}

bool CPacketCapture::openSocket(const LocalAddress& local)
{
    std::lock_guard lock(stateGuard);
    failure.clear();
    interfaceNameValue = local.interfaceName;
    interfaceIndexValue.store(local.interfaceIndex, std::memory_order_release);
    // Protocol 0: the socket receives nothing until bind names ETH_P_ALL, so no packet arrives
    // before the filter is in place. SOCK_DGRAM: packets start at the IP header. ETH_P_ALL
    // rather than ETH_P_IP, because only ETH_P_ALL sockets see the machine's own outgoing
    // packets (they are handed to taps through dev_queue_xmit_nit).
    const int handle = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        const int error = errno;
        failure = recordErrno(error);
        if (error == EPERM || error == EACCES)
            explainMissingCapability();
        return false;
    }
    socket = std::make_unique<CNetSocket>(handle);
    wakeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeEvent < 0) {
        failure = recordErrno(errno);
        return false;
    }
    if (!attachFilter() || !ring.setup(*socket) ||
        !socket->bindInterface(local.address, local.interfaceIndex, ETH_P_ALL)) {
        failure = socket->lastError().empty() ? errorText() : socket->lastError();
        return false;
    }
    return true;
}

bool CPacketCapture::attachFilter()
{
    const sock_fprog program{static_cast<unsigned short>(std::size(kIpv4Filter)),
                             const_cast<sock_filter*>(kIpv4Filter)};
    return socket->setOptionBytes(SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
}

void CPacketCapture::close()
{
    std::lock_guard lifecycle(lifecycleGuard);
    stopAndWait();
    std::lock_guard lock(stateGuard);
    if (socket == nullptr)
        return;
    collectStatistics();
    ring.release();
    socket->close(); // keeps shutdown's refusal in lastError, releases the handle anyway
    socket.reset();
    if (wakeEvent >= 0)
        ::close(wakeEvent);
    wakeEvent = -1;
}

std::string CPacketCapture::address() const
{
    std::lock_guard lock(stateGuard);
    return socket != nullptr ? socket->address() : std::string();
}

std::string CPacketCapture::failureText() const
{
    std::lock_guard lock(stateGuard);
    return failure;
}

std::string CPacketCapture::interfaceName() const
{
    std::lock_guard lock(stateGuard);
    return interfaceNameValue;
}

bool CPacketCapture::isOpen() const
{
    std::lock_guard lock(stateGuard);
    return socket != nullptr;
}

// Caller holds stateGuard.
void CPacketCapture::collectStatistics()
{
    tpacket_stats_v3 statistics{};
    socklen_t size = sizeof statistics;
    // Reading the statistics also clears them in the kernel: add them up here.
    if (socket != nullptr && socket->readOption(SOL_PACKET, PACKET_STATISTICS, &statistics, &size))
        droppedTotal += statistics.tp_drops;
}

std::uint64_t CPacketCapture::kernelDrops()
{
    std::lock_guard lock(stateGuard);
    collectStatistics();
    return droppedTotal;
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

void CPacketCapture::fail(const std::string& reason)
{
    {
        std::lock_guard lock(stateGuard);
        failure = reason;
    }
    failed.store(true, std::memory_order_release);
    running.store(false, std::memory_order_release);
}

// The socket reported an error (POLLERR): reads and clears it into `error`. Returns false when
// the capture cannot go on.
bool CPacketCapture::handleSocketError(int& error)
{
    socklen_t size = sizeof error;
    if (!socket->readOption(SOL_SOCKET, SO_ERROR, &error, &size)) {
        fail(socket->lastError());
        return false;
    }
    // ENETDOWN comes when the interface goes down, and once more when it is deleted; a
    // deleted interface's socket never receives again, even if an interface of the same name
    // comes back. Going on is right only while the interface itself still exists.
    if (error == ENETDOWN && !interfaceExists(interfaceIndex(), interfaceNameValue)) {
        setLastSocketError(kNetworkDown);
        fail(errorText());
        return false;
    }
    return true;
}

void CPacketCapture::run()
{
    const int handle = socket->socketHandle();
    int emptyErrorWakes = 0;
    while (running.load(std::memory_order_acquire)) {
        const std::size_t count = ring.drain([this](const RingPacket& packet) {
            handler(packet.data, std::int32_t(packet.length), packet.captured);
        });
        packetCount.fetch_add(count, std::memory_order_relaxed);

        pollfd watched[2] = {{handle, POLLIN, 0}, {wakeEvent, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            fail(recordErrno(errno));
            return;
        }
        if (watched[1].revents != 0) {
            std::uint64_t value = 0;
            if (::read(wakeEvent, &value, sizeof value) < 0) {
                // Nothing to read: another wake already took it.
            }
            continue;
        }
        if ((watched[0].revents & (POLLHUP | POLLNVAL)) != 0) {
            fail(recordErrno(ENETDOWN));
            return;
        }
        if ((watched[0].revents & POLLERR) != 0) {
            int error = 0;
            if (!handleSocketError(error))
                return;
            // An error that cannot be cleared would wake poll at once for ever: give up
            // rather than spin; the watcher opens the capture again.
            emptyErrorWakes = error == 0 ? emptyErrorWakes + 1 : 0;
            if (emptyErrorWakes >= kErrorWakeLimit) {
                fail(recordErrno(EIO));
                return;
            }
        }
    }
}
