#pragma once
// The accounting's view of a captured IP packet. Every field is read with explicit big-endian
// loads after the length was checked; a buffer is never cast to a header struct.

#include "net/ip_address.h"

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
    std::uint8_t protocol = 0; // IPv4 protocol, IPv6 transport header (59 when not known)
    // What the packet adds to the totals: its length and header allowance as delivered, or
    // the sums over the wire packets of an offloaded super-packet (wire_packets.h).
    std::uint64_t bytes = 0;
    std::uint64_t overhead = 0;
};

// `delivered` is the length from the IP header to the end of the frame as the socket gave it,
// `available` how many of those bytes `data` really holds. The packet's length is its IP
// total length (IPv6: 40 + payload length, or the jumbo payload length), never more than
// delivered. IPv4 packets of 20 bytes or less, and of 21 to 28 bytes, never count for any
// profile: false; so does a packet whose fixed header lies beyond `available`. IPv6 ports
// come from TCP and UDP only, after the extension headers; other packets have port 0.
bool summarisePacket(const std::uint8_t* data, std::int32_t delivered, std::size_t available,
                     PacketSummary& summary);

constexpr std::size_t kIpv6Header = 40; // RFC 8200, the fixed header

// What an IPv6 packet carries before its transport header.
struct Ipv6Headers {
    std::size_t bytes = 0;        // fixed header and extension headers
    std::uint8_t transport = 59;  // the transport protocol; 59 (no next header) when unknown
    bool complete = false;        // the chain ended within the captured bytes
    bool laterFragment = false;   // a fragment other than the first: no transport header
    std::uint32_t jumboLength = 0; // the jumbo payload option's length, 0 without one
};

// Walks the extension headers that may precede the transport header, reading nothing beyond
// `available` bytes.
Ipv6Headers walkIpv6Headers(const std::uint8_t* data, std::size_t available);
// The header allowance of one IPv6 packet: its IPv6 and extension headers and the transport
// header (TCP 20, UDP and ICMPv6 8).
std::uint64_t ipv6Allowance(const Ipv6Headers& headers);

// The source and destination of an IPv4 or IPv6 packet; false when the header is not there.
bool readPacketEnds(const std::uint8_t* data, std::size_t available, IpAddress& source, IpAddress& destination);

std::uint16_t loadBigEndian16(const std::uint8_t* bytes);
std::uint32_t loadBigEndian32(const std::uint8_t* bytes);
