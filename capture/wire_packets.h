#pragma once
// What crossed the wire for one packet a packet socket delivered.
//
// With segmentation offloads the kernel hands a packet socket one "super-packet" of up to
// 64 KB for many wire packets: TCP segmentation offload (TSO/GSO) on sending, generic
// receive offload (GRO) on receiving. With the PACKET_VNET_HDR option (packet(7)) the kernel
// writes a virtio-net header (struct virtio_net_hdr, linux/virtio_net.h) just before each
// packet's link header; its gso_type and gso_size say how the packet is cut on the wire:
// every segment carries a copy of the IP and transport headers and at most gso_size bytes of
// the payload, the last one the rest.

#include <cstddef>
#include <cstdint>

// virtio_net_hdr: flags (1), gso_type (1), hdr_len (2), gso_size (2), csum_start (2),
// csum_offset (2). The packet socket writes the 16-bit fields in the host's byte order
// (legacy virtio, vio_le() in net/packet/af_packet.c).
constexpr std::size_t kOffloadHeaderBytes = 10;

enum class Segmentation : std::uint8_t {
    None,  // VIRTIO_NET_HDR_GSO_NONE, and every type this program does not cut up
    Tcpv4, // VIRTIO_NET_HDR_GSO_TCPV4
    Tcpv6, // VIRTIO_NET_HDR_GSO_TCPV6
    UdpL4, // VIRTIO_NET_HDR_GSO_UDP_L4 (UDP_SEGMENT sockets, UDP GRO)
};

struct OffloadHeader {
    Segmentation segmentation = Segmentation::None;
    std::uint16_t segmentPayload = 0; // gso_size
};

// Reads the kOffloadHeaderBytes at `bytes`. hdr_len is not used: the kernel fills it with
// the length of the packet's linear part, a hint that is not always the header length.
OffloadHeader readOffloadHeader(const std::uint8_t* bytes);

struct WirePackets {
    std::uint64_t packets = 1;
    std::uint64_t bytes = 0;    // sum of the wire packets' IP lengths
    std::uint64_t overhead = 0; // per wire packet: 40 when longer than 40 bytes, else 28
};

// The wire packets of an IP packet of `length` IP bytes, of which `captured` are at `ip`.
// A packet that is no super-packet, or whose headers do not agree with its offload header,
// counts as the one packet it was delivered as. Overhead per IPv4 wire packet by its length
// (40 or 28), per IPv6 one its IPv6, extension and transport headers (ipv6Allowance).
WirePackets countWirePackets(const std::uint8_t* ip, std::uint32_t length, std::size_t captured,
                             const OffloadHeader& offload);

// The header allowance of one wire packet of `length` IP bytes.
std::uint64_t overheadOf(std::uint64_t length);
