#pragma once
// The capture: the machine's one packet socket, not bound to an interface, read through a
// memory-mapped ring on one thread, handing every packet of the machine's own traffic
// (own_traffic.h: received or sent at one of its addresses, forwarded packets left out) to
// the packet handler. The address watcher keeps the machine's addresses current; the
// interfaces that hold one are the counted interfaces, the loopback left out.

#include "capture/captured_packet.h"
#include "capture/capture_socket.h"
#include "capture/drop_report.h"
#include "net/machine_addresses.h"
#include "capture/net_socket.h"
#include "capture/packet_ring.h"
#include "capture/worker_thread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using PacketHandler = std::function<void(const CapturedPacket& packet)>;
// Called on the capture thread after each walk that handed packets over: the handler may hand
// what it gathered on (accounting/flow_batch.h).
using WalkEndHandler = std::function<void()>;

class CPacketCapture : public CWorkerThread {
public:
    // Bytes of each packet the ring keeps from its IP header on (IP and TCP headers with all
    // their options); longer packets still report their real length.
    static constexpr std::uint32_t kSnapLength = 128;
    // Room kept in front of the IP header for the link header (Ethernet, VLAN tags).
    static constexpr std::uint32_t kLinkHeaderRoom = 64;

    explicit CPacketCapture(PacketHandler handler, WalkEndHandler walkEnd = {});
    ~CPacketCapture() override;

    // Takes over the socket opened at start (capture_socket.h), gives it its filter and ring,
    // binds it to every interface and starts the thread. No privilege is needed here. On
    // failure the reason is in failureText() and the capture stays closed; a socket that was
    // refused gives the refusal's text (WSAEACCES without CAP_NET_RAW).
    bool open(CaptureSocket socket);
    // Wakes and joins the thread, unmaps the ring and closes the socket, which cannot be
    // opened again without privilege. Safe to repeat.
    void close();

    // The machine's addresses: the packets of the interfaces that hold one are handed on when
    // they are the machine's own traffic, all others skipped; none before the first call. Any
    // thread; the capture thread sees a new set before the next block it reads.
    void setMachineAddresses(MachineAddresses addresses);
    std::vector<int> countedInterfaces() const;

    // Why the capture could not open, or why its receive is failing now; empty while it runs.
    std::string failureText() const;
    // The same in plain words, for a log line: "permission denied", ...
    std::string failureReason() const;
    bool isOpen() const;
    // The receive fails: the thread retries the socket once a second and clears this (and the
    // failure text) as soon as it works again.
    bool hasFailed() const { return failed.load(std::memory_order_acquire); }

    // Packets handed to the handler since the capture was created.
    std::uint64_t packetsCaptured() const { return packetCount.load(std::memory_order_relaxed); }
    // Packets the kernel dropped because the ring was full (PACKET_STATISTICS), as last read
    // (at most a second old while packets arrive, exact after close()).
    std::uint64_t kernelDrops() const { return droppedTotal.load(std::memory_order_relaxed); }

protected:
    void run() override;
    void wake() override;

private:
    bool configureSocket();
    bool attachFilter();
    void collectStatistics();
    void refreshCounted(MachineAddresses& counted, std::uint64_t& version) const;
    // Hands the packets of every block the kernel has handed over to the handler, those that
    // are not the machine's own traffic left out; returns how many packets were walked.
    std::size_t handOverBlocks(MachineAddresses& counted, std::uint64_t& version);
    bool handleSocketError(int& emptyErrorWakes);
    // Records the failure, says it once on stderr and pauses until a retry is due (or a stop).
    void fail(int errnoValue);
    void recover();

    PacketHandler handler;
    WalkEndHandler walkEnd;

    // Serialises open and close; held while the thread is joined, so the capture thread
    // never takes it.
    std::mutex lifecycleGuard;
    // Guards socket and failure for the accessors, and the filter's replacement (taken before
    // countedGuard, never after it). The capture thread reads socket, ring and
    // wakeEvent without it: they change only while no capture thread runs.
    mutable std::mutex stateGuard;
    std::unique_ptr<CNetSocket> socket;
    PacketRing ring;
    int wakeEvent = -1;
    std::string failure;
    int failureErrno = 0;

    // The machine's addresses; countedVersion grows with every change so the capture thread
    // copies the set only when it changed.
    mutable std::mutex countedGuard;
    MachineAddresses counted;
    std::atomic<std::uint64_t> countedVersion{0};

    DropReport drops; // capture thread, and close() after the join
    std::atomic<std::uint64_t> droppedTotal{0};
    std::atomic<bool> failed{false};
    std::atomic<std::uint64_t> packetCount{0};
};
