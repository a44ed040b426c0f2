#include "capture/packet_ring.h"

#include "base/program_log.h"
#include "capture/net_socket.h"
#include "capture/socket_errors.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <net/if_arp.h>
#include <linux/if_packet.h>
#include <sys/mman.h>
#include <sys/socket.h>

// The block and packet headers below are the kernel's ring ABI (linux/if_packet.h), laid out
// by the kernel for this very purpose; packet bytes themselves are never read through structs.

namespace {

tpacket_block_desc* blockHeader(const std::uint8_t* block)
{
    return reinterpret_cast<tpacket_block_desc*>(const_cast<std::uint8_t*>(block));
}

const tpacket3_hdr* packetHeader(const std::uint8_t* packet)
{
    return reinterpret_cast<const tpacket3_hdr*>(packet);
}

// The frame's fixed part: packet header, then the link-level address record (packet_mmap.rst).
constexpr std::uint32_t kAddressRecordEnd = TPACKET_ALIGN(sizeof(tpacket3_hdr)) + sizeof(sockaddr_ll);

// Asks the kernel to write a virtio-net header before each packet's link header
// (net/packet/af_packet.c, tpacket_rcv). Only a SOCK_RAW socket takes it, and only before its
// ring exists (EBUSY after). Without it a super-packet counts as one packet: said once per run.
bool requestOffloadHeaders(CNetSocket& socket)
{
    const int on = 1;
    if (setsockopt(socket.socketHandle(), SOL_PACKET, PACKET_VNET_HDR, &on, sizeof on) == 0)
        return true;
    const int error = errno;
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
        logLine(std::string("the packet socket gives no segmentation offload headers (") + std::strerror(error) +
                "); bulk transfers will read low");
    return false;
}

} // namespace

bool PacketRing::setup(CNetSocket& socket)
{
    release();
    offloadHeaders = requestOffloadHeaders(socket);
    if (!socket.setOption(SOL_PACKET, PACKET_VERSION, TPACKET_V3))
        return false;
    tpacket_req3 request{};
    request.tp_block_size = kBlockSize;
    request.tp_block_nr = kBlockCount;
    request.tp_frame_size = kFrameSize;
    request.tp_frame_nr = kBlockSize / kFrameSize * kBlockCount;
    request.tp_retire_blk_tov = kBlockTimeoutMs;
    if (!socket.setOptionBytes(SOL_PACKET, PACKET_RX_RING, &request, sizeof request))
        return false;
    const std::size_t size = std::size_t(kBlockSize) * kBlockCount;
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE,
                        socket.socketHandle(), 0);
    if (mapped == MAP_FAILED) {
        recordErrno(errno);
        return false;
    }
    memory = static_cast<std::uint8_t*>(mapped);
    mappedSize = size;
    currentBlock = 0;
    return true;
}

void PacketRing::release()
{
    if (memory != nullptr)
        munmap(memory, mappedSize);
    memory = nullptr;
    mappedSize = 0;
    currentBlock = 0;
}

const std::uint8_t* PacketRing::readyBlock() const
{
    if (memory == nullptr)
        return nullptr;
    const std::uint8_t* block = memory + std::size_t(currentBlock) * kBlockSize;
    // Acquire: the packets of the block are visible once its status says TP_STATUS_USER.
    const std::uint32_t status = __atomic_load_n(&blockHeader(block)->hdr.bh1.block_status, __ATOMIC_ACQUIRE);
    return (status & TP_STATUS_USER) != 0 ? block : nullptr;
}

void PacketRing::releaseBlock()
{
    std::uint8_t* block = memory + std::size_t(currentBlock) * kBlockSize;
    __atomic_store_n(&blockHeader(block)->hdr.bh1.block_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
    currentBlock = (currentBlock + 1) % kBlockCount;
}

std::uint32_t PacketRing::blockPackets(const std::uint8_t* block)
{
    return blockHeader(block)->hdr.bh1.num_pkts;
}

const std::uint8_t* PacketRing::firstPacket(const std::uint8_t* block)
{
    return block + blockHeader(block)->hdr.bh1.offset_to_first_pkt;
}

const std::uint8_t* PacketRing::nextPacket(const std::uint8_t* packet)
{
    return packet + packetHeader(packet)->tp_next_offset;
}

RingPacket PacketRing::describe(const std::uint8_t* packet, bool withOffloadHeader)
{
    const tpacket3_hdr* header = packetHeader(packet);
    // The link-level address record follows the packet header, aligned (packet_mmap.rst).
    const auto* link = reinterpret_cast<const sockaddr_ll*>(packet + TPACKET_ALIGN(sizeof(tpacket3_hdr)));
    // The frame starts at its link header (tp_mac; none on tun or WireGuard interfaces) and
    // tp_len and tp_snaplen count from there; the IP header is at tp_net.
    const std::uint32_t linkHeader = header->tp_net >= header->tp_mac ? header->tp_net - header->tp_mac : 0;
    RingPacket result;
    result.data = packet + header->tp_net;
    result.length = header->tp_len > linkHeader ? header->tp_len - linkHeader : 0;
    result.captured = header->tp_snaplen > linkHeader ? header->tp_snaplen - linkHeader : 0;
    result.packetType = link->sll_pkttype;
    result.interfaceIndex = link->sll_ifindex;
    // An Ethernet header (14 bytes, 18 with a tag the kernel left in place): the source
    // address follows the destination.
    if (link->sll_hatype == ARPHRD_ETHER && linkHeader >= 14 && header->tp_snaplen >= 14)
        result.linkSource = packet + header->tp_mac + 6;
    // The offload header sits just before the link header, past the address record.
    if (withOffloadHeader && header->tp_mac >= kAddressRecordEnd + kOffloadHeaderBytes)
        result.offload = readOffloadHeader(packet + header->tp_mac - kOffloadHeaderBytes);
    return result;
}
