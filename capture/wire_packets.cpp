#include "capture/wire_packets.h"

#include <cstring>

namespace {

// linux/virtio_net.h; GSO_UDP_L4 (5) is missing from older copies of the header.
constexpr std::uint8_t kGsoTcpv4 = 1;
constexpr std::uint8_t kGsoUdpL4 = 5;
constexpr std::uint8_t kGsoEcnFlag = 0x80; // a modifier of the type, not a type

constexpr std::uint8_t kProtocolTcp = 6;  // RFC 790
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::size_t kMinimumIpHeader = 20;  // RFC 791
constexpr std::size_t kMinimumTcpHeader = 20; // RFC 793
constexpr std::size_t kUdpHeader = 8;         // RFC 768
constexpr std::uint64_t kTcpOverhead = 40;    // IPv4 + TCP headers without options
constexpr std::uint64_t kUdpOverhead = 28;    // IPv4 + UDP headers

std::uint16_t loadHostOrder16(const std::uint8_t* bytes)
{
    std::uint16_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

WirePackets asDelivered(std::uint32_t length)
{
    return {1, length, overheadOf(length)};
}

// Bytes of the IP and transport headers every segment repeats; 0 when the packet's own
// headers do not describe a segmentable packet of that type.
std::size_t repeatedHeaderBytes(const std::uint8_t* ip, std::uint32_t length, std::size_t captured,
                                Segmentation segmentation)
{
    if (captured < kMinimumIpHeader || ip[0] >> 4 != 4)
        return 0;
    const std::size_t ipHeader = std::size_t(ip[0] & 0x0f) * 4;
    // Total length (bytes 2-3) is the packet's length, or 0 when it exceeds 65535 (BIG TCP).
    const std::uint32_t totalLength = std::uint32_t(ip[2]) << 8 | ip[3];
    // More-fragments flag and fragment offset (bytes 6-7): a fragment is never a super-packet.
    const bool fragment = ((ip[6] & 0x3f) | ip[7]) != 0;
    if (ipHeader < kMinimumIpHeader || fragment || (totalLength != length && !(totalLength == 0 && length > 0xffff)))
        return 0;
    if (segmentation == Segmentation::Tcpv4) {
        if (ip[9] != kProtocolTcp || captured < ipHeader + 13)
            return 0;
        const std::size_t tcpHeader = std::size_t(ip[ipHeader + 12] >> 4) * 4; // data offset
        return tcpHeader < kMinimumTcpHeader ? 0 : ipHeader + tcpHeader;
    }
    return ip[9] == kProtocolUdp ? ipHeader + kUdpHeader : 0;
}

} // namespace

OffloadHeader readOffloadHeader(const std::uint8_t* bytes)
{
    OffloadHeader header;
    const std::uint8_t type = bytes[1] & std::uint8_t(~kGsoEcnFlag);
    header.segmentation = type == kGsoTcpv4   ? Segmentation::Tcpv4
                          : type == kGsoUdpL4 ? Segmentation::UdpL4
                                              : Segmentation::None;
    header.segmentPayload = loadHostOrder16(bytes + 4);
    return header;
}

std::uint64_t overheadOf(std::uint64_t length)
{
    return length > kTcpOverhead ? kTcpOverhead : kUdpOverhead;
}

WirePackets countWirePackets(const std::uint8_t* ip, std::uint32_t length, std::size_t captured,
                             const OffloadHeader& offload)
{
    if (ip == nullptr || offload.segmentation == Segmentation::None || offload.segmentPayload == 0)
        return asDelivered(length);
    const std::size_t headers = repeatedHeaderBytes(ip, length, captured, offload.segmentation);
    if (headers == 0 || length <= headers)
        return asDelivered(length);
    const std::uint64_t payload = length - headers;
    const std::uint64_t full = payload / offload.segmentPayload;
    const std::uint64_t rest = payload % offload.segmentPayload;
    const std::uint64_t fullLength = headers + offload.segmentPayload;
    WirePackets wire;
    wire.packets = full + (rest != 0 ? 1 : 0);
    wire.bytes = wire.packets * headers + payload;
    wire.overhead = full * overheadOf(fullLength) + (rest != 0 ? overheadOf(headers + rest) : 0);
    return wire;
}
