#pragma once
// The receive ring of a packet socket: TPACKET_V3 blocks shared with the kernel through mmap
// (kernel Documentation/networking/packet_mmap.rst). The kernel fills a block with packets and
// hands it over by setting TP_STATUS_USER in the block header; the reader walks the packets
// and gives the block back with TP_STATUS_KERNEL. No copy and no system call per packet.

#include <cstddef>
#include <cstdint>
#include <string>

class CNetSocket;

// One packet as the ring holds it.
struct RingPacket {
    const std::uint8_t* data = nullptr; // starts at the IP header (SOCK_DGRAM socket)
    std::uint32_t length = 0;           // the datagram's real length (tp_len)
    std::uint32_t captured = 0;         // bytes at `data` (tp_snaplen)
    std::uint8_t packetType = 0;        // PACKET_HOST, PACKET_OUTGOING, ... (if_packet.h)
};

class PacketRing {
public:
    // 4 blocks of 1 MiB; a block is handed to the reader when full or after kBlockTimeoutMs.
    static constexpr std::uint32_t kBlockSize = 1u << 20;
    static constexpr std::uint32_t kBlockCount = 4;
    static constexpr std::uint32_t kFrameSize = 2048;
    static constexpr std::uint32_t kBlockTimeoutMs = 50;

    PacketRing() = default;
    PacketRing(const PacketRing&) = delete;
    PacketRing& operator=(const PacketRing&) = delete;
    ~PacketRing() { release(); }

    // Switches the socket to TPACKET_V3 and maps its receive ring. On failure the socket's
    // lastError says why.
    bool setup(CNetSocket& socket);
    void release();
    bool isMapped() const { return memory != nullptr; }

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
                visit(describe(packet));
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
    static RingPacket describe(const std::uint8_t* packet);

    std::uint8_t* memory = nullptr;
    std::size_t mappedSize = 0;
    std::uint32_t currentBlock = 0;
};
