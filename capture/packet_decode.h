#pragma once
// The accounting's view of a captured IPv4 packet. Every field is read with explicit
// big-endian loads after the length was checked; a buffer is never cast to a header struct.

#include <cstddef>
#include <cstdint>

// Everything the accounting needs of one packet, decoded once and shared by all profiles.
struct PacketSummary {
    std::int32_t length = 0;
    std::uint32_t source = 0;      // host byte order
    std::uint32_t destination = 0; // host byte order
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    bool hasTcpView = false; // longer than 40 bytes: charged 40 bytes of header, else 28
    // What the packet adds to the totals: its length and header allowance as delivered, or
    // the sums over the wire packets of an offloaded super-packet (wire_packets.h).
    std::uint64_t bytes = 0;
    std::uint64_t overhead = 0;
};

// Packets of 20 bytes or less, and of 21 to 28 bytes, never count for any profile: false.
// `available` is how many bytes `data` really holds (a capture may hold fewer than `length`);
// a packet whose fields lie beyond it is treated as malformed and does not count either.
bool summarisePacket(const std::uint8_t* data, std::int32_t length, std::size_t available,
                     PacketSummary& summary);

std::uint16_t loadBigEndian16(const std::uint8_t* bytes);
std::uint32_t loadBigEndian32(const std::uint8_t* bytes);
