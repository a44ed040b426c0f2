#include "capture/packet_decode.h"

#include "capture/counting_rules.h"
#include "capture/wire_packets.h"

namespace {
// Lengths, protocol numbers and allowances both packet sources share: counting_rules.h.
constexpr std::size_t kIpv4Header = VELMORA_IPV4_HEADER; // RFC 791, without options
constexpr std::uint8_t kHopByHop = VELMORA_HOP_BY_HOP;
constexpr std::uint8_t kTcp = VELMORA_TCP;
constexpr std::uint8_t kUdp = VELMORA_UDP;
constexpr std::uint8_t kFragment = VELMORA_FRAGMENT;
constexpr std::uint8_t kNoNextHeader = VELMORA_NO_NEXT_HEADER;
// Hop-by-hop option types (RFC 8200, 4.2; RFC 2675).
constexpr std::uint8_t kPad1 = 0;
constexpr std::uint8_t kJumboPayload = 0xc2;
// Extension headers walked at most: a crafted chain ends the walk here. Real packets carry
// one or two.
constexpr int kIpv6HeaderChainLimit = VELMORA_IPV6_CHAIN_LIMIT;
constexpr std::int32_t kPortsEnd = 24;        // both ports read at bytes 20-23
constexpr std::int32_t kUdpViewMinimum = VELMORA_IPV4_SHORTEST_COUNTED;
constexpr std::int32_t kLargestTotalLength = VELMORA_LARGEST_LENGTH_FIELD;

// The IPv4 datagram's length: the total length field (bytes 2-3), which the kernel also
// keeps for offloaded super-packets. It is 0 for one above 64 KiB (BIG TCP), whose length
// only the socket knows. Padding after the datagram is never part of it.
std::int32_t ipv4Length(const std::uint8_t* data, std::int32_t delivered)
{
    const std::int32_t total = loadBigEndian16(data + 2);
    if (total == 0 && delivered > kLargestTotalLength)
        return delivered;
    return total < delivered ? total : delivered;
}
// The jumbo payload option's length in a hop-by-hop header of `length` bytes, 0 without one.
std::uint32_t jumboPayloadLength(const std::uint8_t* header, std::size_t length)
{
    std::size_t offset = 2; // next header, header length
    while (offset < length) {
        const std::uint8_t type = header[offset];
        if (type == kPad1) {
            ++offset;
            continue;
        }
        if (offset + 2 > length)
            break;
        const std::size_t optionLength = header[offset + 1];
        if (type == kJumboPayload && optionLength == 4 && offset + 6 <= length)
            return loadBigEndian32(header + offset + 2);
        offset += 2 + optionLength;
    }
    return 0;
}

} // namespace

std::uint64_t ipv6Allowance(const Ipv6Headers& headers)
{
    return velmora_ipv6_allowance(headers.bytes, headers.complete, headers.transport);
}

std::uint16_t loadBigEndian16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint32_t loadBigEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

bool readPacketEnds(const std::uint8_t* data, std::size_t available, IpAddress& source, IpAddress& destination)
{
    if (data == nullptr || available < kIpv4Header)
        return false;
    const int version = data[0] >> 4;
    if (version == 4) {
        source = IpAddress::fromV4(loadBigEndian32(data + 12));
        destination = IpAddress::fromV4(loadBigEndian32(data + 16));
        return true;
    }
    if (version == 6 && available >= kIpv6Header) {
        source = IpAddress::fromV6(data + 8);
        destination = IpAddress::fromV6(data + 24);
        return true;
    }
    return false;
}

Ipv6Headers walkIpv6Headers(const std::uint8_t* data, std::size_t available)
{
    // RFC 8200, 4: every extension header but the fragment header gives its length in 8-byte
    // units after the first 8 (byte 1); the fragment header is 8 bytes. Only the headers that
    // may precede the transport header are walked; anything else (AH, ESP, an unknown type,
    // No Next Header) ends the walk with no transport header known.
    Ipv6Headers headers;
    if (available < kIpv6Header) {
        headers.bytes = kIpv6Header; // not even the fixed header is at hand
        return headers;
    }
    std::uint8_t next = data[6];
    std::size_t offset = kIpv6Header;
    for (int walked = 0; walked < kIpv6HeaderChainLimit; ++walked) {
        if (!velmora_ipv6_walks(next))
            break;
        if (available < offset + 8) {
            headers.bytes = offset; // the chain goes on beyond what was captured
            return headers;
        }
        const std::size_t length = next == kFragment ? 8 : (std::size_t(data[offset + 1]) + 1) * 8;
        if (next == kFragment && (loadBigEndian16(data + offset + 2) & 0xfff8) != 0)
            headers.laterFragment = true; // fragment offset (RFC 8200, 4.5): no transport header
        if (next == kHopByHop && walked == 0)
            headers.jumboLength = jumboPayloadLength(data + offset, std::min(length, available - offset));
        next = data[offset];
        offset += length;
    }
    headers.bytes = offset;
    if (velmora_ipv6_walks(next))
        return headers; // longer than any real chain: no transport header is trusted
    headers.transport = headers.laterFragment ? kNoNextHeader : next;
    headers.complete = true;
    return headers;
}

static bool summariseIpv6(const std::uint8_t* data, std::int32_t delivered, std::size_t available, PacketSummary& summary)
{
    if (delivered < std::int32_t(kIpv6Header) || available < kIpv6Header)
        return false;
    const Ipv6Headers headers = walkIpv6Headers(data, available);
    // The payload length (bytes 4-5) counts everything after the fixed header; 0 with a jumbo
    // payload option in the hop-by-hop header (RFC 2675), or with nothing but the socket's
    // length to go by (BIG TCP above 64 KiB on kernels that no longer insert the option).
    const std::uint32_t payload = loadBigEndian16(data + 4);
    std::int64_t length = std::int64_t(kIpv6Header) + payload;
    if (payload == 0)
        length = headers.jumboLength != 0 ? std::int64_t(kIpv6Header) + headers.jumboLength : delivered;
    summary.length = std::int32_t(std::min<std::int64_t>(length, delivered));
    summary.source = IpAddress::fromV6(data + 8);
    summary.destination = IpAddress::fromV6(data + 24);
    summary.sourcePort = summary.destinationPort = 0;
    summary.protocol = headers.transport;
    const bool hasPorts = headers.complete && (headers.transport == kTcp || headers.transport == kUdp);
    if (hasPorts && available >= headers.bytes + 4) {
        summary.sourcePort = loadBigEndian16(data + headers.bytes);
        summary.destinationPort = loadBigEndian16(data + headers.bytes + 2);
    }
    summary.bytes = std::uint64_t(summary.length);
    summary.overhead = std::min<std::uint64_t>(ipv6Allowance(headers), summary.bytes);
    return true;
}

bool summarisePacket(const std::uint8_t* data, std::int32_t delivered, std::size_t available,
                     PacketSummary& summary)
{
    if (data != nullptr && available > 0 && data[0] >> 4 == 6)
        return summariseIpv6(data, delivered, available, summary);
    if (data == nullptr || delivered < kUdpViewMinimum || available < std::size_t(kPortsEnd) || data[0] >> 4 != 4)
        return false;
    const std::int32_t length = ipv4Length(data, delivered);
    if (length < kUdpViewMinimum)
        return false;
    summary.length = length;
    summary.source = IpAddress::fromV4(loadBigEndian32(data + 12));
    summary.destination = IpAddress::fromV4(loadBigEndian32(data + 16));
    summary.sourcePort = loadBigEndian16(data + 20);
    summary.destinationPort = loadBigEndian16(data + 22);
    summary.protocol = data[9];
    summary.bytes = std::uint64_t(length);
    summary.overhead = overheadOf(summary.bytes);
    return true;
}
