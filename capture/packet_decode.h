#pragma once
// Views of a captured IPv4 packet. Every field is read with explicit big-endian loads after the
// length was checked; a buffer is never cast to a header struct.

#include <cstddef>
#include <cstdint>

// Source and destination addresses as inet_ntoa writes them (RFC 791: bytes 12-15 and 16-19).
struct IpHeaderInfo {
    char source[24] = {};
    char destination[24] = {};
};

// The ports of the transport header, always read at byte 20: the header length field is not
// consulted, as if the IP header never carried options.
struct TcpHeaderInfo {
    std::int32_t sourcePort = 0;
    std::int32_t destinationPort = 0;
    std::int32_t reserved = 0; // always 0 as decoded
};

struct UdpHeaderInfo {
    std::int32_t sourcePort = 0;
    std::int32_t destinationPort = 0;
};

// Each returns false, leaving the view empty, when `length` or the bytes at hand are too few.
bool decodeIpHeader(const std::uint8_t* data, std::int32_t length, IpHeaderInfo& info);
bool decodeTcpHeader(const std::uint8_t* data, std::int32_t length, TcpHeaderInfo& info);
bool decodeUdpHeader(const std::uint8_t* data, std::int32_t length, UdpHeaderInfo& info);

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
// inet_ntoa's text for an address in host byte order; `out` holds at least 16 characters.
void formatAddress(std::uint32_t address, char* out);
