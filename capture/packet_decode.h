#pragma once
// The accounting's view of a captured IP packet. Every field is read with explicit big-endian
// loads after the length was checked; a buffer is never cast to a header struct.

#include "profile/ip_address.h"

#include <cstddef>
#include <cstdint>

// Everything the accounting needs of one packet, decoded once and shared by all profiles.
struct PacketSummary {
    // The datagram's length as its IP header gives it: never the frame's, which may carry
    // link-layer padding (Ethernet pads short frames to 60 bytes).
    std::int32_t length = 0;
    IpAddress source;
    IpAddress destination;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    // What the packet adds to the totals: its length and header allowance as delivered, or
    // the sums over the wire packets of an offloaded super-packet (wire_packets.h).
    std::uint64_t bytes = 0;
    std::uint64_t overhead = 0;
};

// `delivered` is the length from the IP header to the end of the frame as the socket gave it,
// `available` how many of those bytes `data` really holds. The packet's length is its IP
// total length, never more than delivered. Packets of 20 bytes or less, and of 21 to 28
// bytes, never count for any profile: false; so does a packet whose fields lie beyond
// `available`.
bool summarisePacket(const std::uint8_t* data, std::int32_t delivered, std::size_t available,
                     PacketSummary& summary);

// The source and destination of an IPv4 or IPv6 packet; false when the header is not there.
bool readPacketEnds(const std::uint8_t* data, std::size_t available, IpAddress& source, IpAddress& destination);

std::uint16_t loadBigEndian16(const std::uint8_t* bytes);
std::uint32_t loadBigEndian32(const std::uint8_t* bytes);
