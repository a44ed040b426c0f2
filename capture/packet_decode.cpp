#include "capture/packet_decode.h"

#include "capture/wire_packets.h"

namespace {
constexpr std::int32_t kPortsEnd = 24;        // both ports read at bytes 20-23
constexpr std::int32_t kUdpViewMinimum = 29;  // 20 + 8-byte UDP header, plus one byte
constexpr std::int32_t kTcpViewMinimum = 41;  // 20 + 20-byte TCP header, plus one byte
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

bool summarisePacket(const std::uint8_t* data, std::int32_t length, std::size_t available,
                     PacketSummary& summary)
{
    if (data == nullptr || length < kUdpViewMinimum || available < std::size_t(kPortsEnd))
        return false;
    summary.length = length;
    summary.source = loadBigEndian32(data + 12);
    summary.destination = loadBigEndian32(data + 16);
    summary.sourcePort = loadBigEndian16(data + 20);
    summary.destinationPort = loadBigEndian16(data + 22);
    summary.hasTcpView = length >= kTcpViewMinimum;
    summary.bytes = std::uint64_t(length);
    summary.overhead = overheadOf(summary.bytes);
    return true;
}
