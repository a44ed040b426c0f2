#include "capture/packet_decode.h"

#include "capture/wire_packets.h"

namespace {
constexpr std::size_t kIpv4Header = 20;       // RFC 791, without options
constexpr std::size_t kIpv6Header = 40;       // RFC 8200
constexpr std::int32_t kPortsEnd = 24;        // both ports read at bytes 20-23
constexpr std::int32_t kUdpViewMinimum = 29;  // 20 + 8-byte UDP header, plus one byte
constexpr std::int32_t kLargestTotalLength = 0xffff;

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
} // namespace

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

bool summarisePacket(const std::uint8_t* data, std::int32_t delivered, std::size_t available,
                     PacketSummary& summary)
{
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
    summary.bytes = std::uint64_t(length);
    summary.overhead = overheadOf(summary.bytes);
    return true;
}
