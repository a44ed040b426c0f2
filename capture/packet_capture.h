#pragma once
// The capture: the machine's one packet socket, not bound to an interface, read through a
// memory-mapped ring on one thread, handing every IPv4 packet of the counted interfaces
// (incoming and outgoing) to the packet handler. The address watcher keeps the set of counted
// interfaces current: those that hold a local IPv4 address, the loopback left out.

#include "capture/capture_socket.h"
#include "capture/drop_report.h"
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

// Bytes of the packet as captured (from its IP header on), the datagram's real length, how
// many bytes `data` holds (fewer than the length for packets longer than the snap length), and
// how the kernel's offloads cut it on the wire (wire_packets.h).
using PacketHandler = std::function<void(const std::uint8_t* data, std::int32_t length, std::size_t captured,
                                         const OffloadHeader& offload)>;

class CPacketCapture : public CWorkerThread {
public:
    // Bytes of each packet the ring keeps from its IP header on (IP and TCP headers with all
    // their options); longer packets still report their real length.
    static constexpr std::uint32_t kSnapLength = 128;
    // Room kept in front of the IP header for the link header (Ethernet, VLAN tags).
    static constexpr std::uint32_t kLinkHeaderRoom = 64;

    explicit CPacketCapture(PacketHandler handler);
    ~CPacketCapture() override;

    // Takes over the socket opened at start (capture_socket.h), gives it its filter and ring,
    // binds it to every interface and starts the thread. No privilege is needed here. On
    // failure the reason is in failureText() and the capture stays closed; a socket that was
    // refused gives the refusal's text (WSAEACCES without CAP_NET_RAW).
    bool open(CaptureSocket socket);
    // Wakes and joins the thread, unmaps the ring and closes the socket, which cannot be
    // opened again without privilege. Safe to repeat.
    void close();

    // Packets of these interfaces are handed on, of all others skipped; none before the first
    // call. Any thread; the capture thread sees a new set before the next block it reads.
    void setCountedInterfaces(std::vector<int> interfaceIndexes);
    std::vector<int> countedInterfaces() const;

    std::string failureText() const;
    bool isOpen() const;
    // The receive failed for good: the thread has ended and the capture only waits to be closed.
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
    void refreshCounted(std::vector<int>& counted, std::uint64_t& version) const;
    // Hands the packets of every block the kernel has handed over to the handler, those of
    // interfaces not counted left out; returns how many packets were walked.
    std::size_t handOverBlocks(std::vector<int>& counted, std::uint64_t& version);
    bool handleSocketError(int& emptyErrorWakes);
    void fail(const std::string& reason);

    PacketHandler handler;

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

    // The counted interfaces, sorted; countedVersion grows with every change so the capture
    // thread copies the set only when it changed.
    mutable std::mutex countedGuard;
    std::vector<int> counted;
    std::atomic<std::uint64_t> countedVersion{0};

    DropReport drops; // capture thread, and close() after the join
    std::atomic<std::uint64_t> droppedTotal{0};
    std::atomic<bool> failed{false};
    std::atomic<std::uint64_t> packetCount{0};
};
