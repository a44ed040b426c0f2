#pragma once
// One capture: a packet socket on the interface that owns a local address, read through a
// memory-mapped ring on a thread of its own, handing every IPv4 packet of that interface,
// incoming and outgoing, to the packet handler.

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

// Bytes of the packet as captured (from its IP header on), the datagram's real length, and how
// many bytes `data` holds (fewer than the length for packets longer than the snap length).
using PacketHandler =
    std::function<void(const std::uint8_t* data, std::int32_t length, std::size_t captured)>;

class CPacketCapture : public CWorkerThread {
public:
    // Bytes of each packet the ring keeps; longer packets still report their real length.
    static constexpr std::uint32_t kSnapLength = 2048;

    explicit CPacketCapture(PacketHandler handler);
    ~CPacketCapture() override;

    // Opens a capture of the interface that owns `address` and starts its thread. `port` is
    // kept for the record only: a packet socket sees every port. On failure the reason is in
    // failureText() and the capture is closed.
    bool open(const std::string& address, int port);
    bool open(const LocalAddress& local);
    // Wakes and joins the thread, unmaps the ring and closes the socket. Safe to repeat.
    void close();

    std::string address() const;
    std::string failureText() const;
    int interfaceIndex() const { return interfaceIndexValue.load(std::memory_order_acquire); }
    std::string interfaceName() const;
    bool isOpen() const;
    // The receive failed for good (its interface was deleted): the thread has ended and the
    // capture only waits to be closed.
    bool hasFailed() const { return failed.load(std::memory_order_acquire); }

    // Packets handed to the handler since the capture was created.
    std::uint64_t packetsCaptured() const { return packetCount.load(std::memory_order_relaxed); }
    // Packets the kernel dropped because the ring was full (PACKET_STATISTICS), since created.
    std::uint64_t kernelDrops();

protected:
    void run() override;
    void wake() override;

private:
    bool openSocket(const LocalAddress& local);
    bool attachFilter();
    void collectStatistics();
    bool handleSocketError(int& error);
    void fail(const std::string& reason);

    PacketHandler handler;

    // Serialises open and close (the watcher and the window may both close a capture); held
    // while the thread is joined, so the capture thread never takes it.
    std::mutex lifecycleGuard;
    // Guards the fields below for the accessors. The capture thread reads socket, ring and
    // wakeEvent without it: they change only while no capture thread runs.
    mutable std::mutex stateGuard;
    std::unique_ptr<CNetSocket> socket;
    PacketRing ring;
    int wakeEvent = -1;
    std::string failure;
    std::string interfaceNameValue;
    std::uint64_t droppedTotal = 0;

    std::atomic<int> interfaceIndexValue{0};
    std::atomic<bool> failed{false};
    std::atomic<std::uint64_t> packetCount{0};
};
