#pragma once
// The receive ring of a packet socket: TPACKET_V3 blocks shared with the kernel through mmap
// (kernel Documentation/networking/packet_mmap.rst). The kernel fills a block with packets and
// hands it over by setting TP_STATUS_USER in the block header; the reader walks the packets
// and gives the block back with TP_STATUS_KERNEL. No copy and no system call per packet.

#include "capture/wire_packets.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CNetSocket;

// One packet as the ring holds it, seen from its IP header whatever the link type.
struct RingPacket {
    const std::uint8_t* data = nullptr; // the IP header (the frame's network offset, tp_net)
    std::uint32_t length = 0;           // the datagram's real length, from the IP header on
    std::uint32_t captured = 0;         // bytes at `data`
    std::uint8_t packetType = 0;        // PACKET_HOST, PACKET_OUTGOING, ... (if_packet.h)
    int interfaceIndex = 0;             // the interface the packet passed
    // The Ethernet frame's source address (6 bytes), or null on other links (tun, WireGuard).
    const std::uint8_t* linkSource = nullptr;
    OffloadHeader offload;              // how the packet is cut on the wire (no header: none)
};

class PacketRing {
public:
    // Many small blocks: the kernel hands a block over when it is full or, holding at least
    // one packet, kBlockTimeoutMs after it was opened. A packet takes a block for itself only
    // at low rates, so the ring holds kBlockCount * kBlockTimeoutMs (2.4 s) of traffic at any
    // rate up to the one that fills its 3.75 MiB in that time (about 6700 packets a second of
    // any size, at the snap length the capture keeps): a reader that stalls that long loses
    // nothing. The ring is most of the service's resident memory (mapped and populated).
    static constexpr std::uint32_t kBlockSize = 40u << 10;
    static constexpr std::uint32_t kBlockCount = 96;
    static constexpr std::uint32_t kFrameSize = 2048;
    static constexpr std::uint32_t kBlockTimeoutMs = 25;

    PacketRing() = default;
    PacketRing(const PacketRing&) = delete;
    PacketRing& operator=(const PacketRing&) = delete;
    ~PacketRing() { release(); }

    // Switches the socket to TPACKET_V3 and maps its receive ring. On failure the socket's
    // lastError says why. First asks for an offload header before each packet
    // (PACKET_VNET_HDR, which must precede the ring); a kernel or socket that refuses it is
    // said once on stderr, and the ring works without.
    bool setup(CNetSocket& socket);
    void release();
    bool isMapped() const { return memory != nullptr; }
    bool hasOffloadHeaders() const { return offloadHeaders; }

    // Walks every block the kernel has handed over, calls `visit` for each packet in order
    // and gives the block back. Returns the number of packets visited.
    template <typename Visitor>
    std::size_t drain(Visitor&& visit)
    {
        std::size_t count = 0;
        while (const std::uint8_t* block = readyBlock()) {
            const std::uint32_t packets = blockPackets(block);
            const std::uint8_t* packet = firstPacket(block);
            for (std::uint32_t i = 0; i < packets; ++i) {
                visit(describe(packet, offloadHeaders));
                packet = nextPacket(packet);
            }
            count += packets;
            releaseBlock();
        }
        return count;
    }

private:
    const std::uint8_t* readyBlock() const;
    void releaseBlock();
    static std::uint32_t blockPackets(const std::uint8_t* block);
    static const std::uint8_t* firstPacket(const std::uint8_t* block);
    static const std::uint8_t* nextPacket(const std::uint8_t* packet);
    static RingPacket describe(const std::uint8_t* packet, bool withOffloadHeader);

    std::uint8_t* memory = nullptr;
    bool offloadHeaders = false;
    std::size_t mappedSize = 0;
    std::uint32_t currentBlock = 0;
};
