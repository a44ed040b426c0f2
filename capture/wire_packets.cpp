#include "capture/wire_packets.h"

#include "capture/counting_rules.h"
#include "capture/packet_decode.h"

#include <cstring>

namespace {

// linux/virtio_net.h; GSO_UDP_L4 (5) is missing from older copies of the header.
constexpr std::uint8_t kGsoTcpv4 = 1;
constexpr std::uint8_t kGsoTcpv6 = 4;
constexpr std::uint8_t kGsoUdpL4 = 5;
constexpr std::uint8_t kGsoEcnFlag = 0x80; // a modifier of the type, not a type

constexpr std::uint8_t kProtocolTcp = 6;  // RFC 790
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::size_t kMinimumIpHeader = 20;  // RFC 791
constexpr std::size_t kMinimumTcpHeader = 20; // RFC 793
constexpr std::size_t kUdpHeader = 8;         // RFC 768

std::uint16_t loadHostOrder16(const std::uint8_t* bytes)
{
    std::uint16_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// One packet as delivered; an IPv6 packet with its allowance (`ipv6Overhead`), capped at its length.
WirePackets asDelivered(std::uint32_t length, std::uint64_t ipv6Overhead)
{
    if (ipv6Overhead != 0)
        return {1, length, ipv6Overhead < length ? ipv6Overhead : length};
    return {1, length, overheadOf(length)};
}

struct RepeatedHeaders {
    std::size_t bytes = 0;       // IP and transport headers every segment repeats; 0: none
    std::uint64_t allowance = 0; // IPv6: each segment's header allowance; IPv4: by length
};

// An IPv6 super-packet (TCPV6, or UDP_L4 over IPv6): the fixed and extension headers and the
// transport header repeat in every segment.
RepeatedHeaders repeatedIpv6Headers(const std::uint8_t* ip, std::uint32_t length, std::size_t captured,
                                    Segmentation segmentation)
{
    if (captured < kIpv6Header || segmentation == Segmentation::Tcpv4)
        return {};
    const Ipv6Headers headers = walkIpv6Headers(ip, captured);
    const std::uint32_t payload = loadBigEndian16(ip + 4);
    const bool lengthAgrees = kIpv6Header + payload == length || (payload == 0 && length > 0xffff);
    if (!headers.complete || !lengthAgrees)
        return {};
    if (segmentation == Segmentation::Tcpv6) {
        if (headers.transport != kProtocolTcp || captured < headers.bytes + 13)
            return {};
        const std::size_t tcpHeader = std::size_t(ip[headers.bytes + 12] >> 4) * 4; // data offset
        if (tcpHeader < kMinimumTcpHeader)
            return {};
        return {headers.bytes + tcpHeader, ipv6Allowance(headers)};
    }
    if (headers.transport != kProtocolUdp)
        return {};
    return {headers.bytes + kUdpHeader, ipv6Allowance(headers)};
}

// Bytes of the IP and transport headers every segment repeats; 0 when the packet's own
// headers do not describe a segmentable packet of that type.
std::size_t repeatedHeaderBytes(const std::uint8_t* ip, std::uint32_t length, std::size_t captured,
                                Segmentation segmentation)
{
    if (captured < kMinimumIpHeader || ip[0] >> 4 != 4 || segmentation == Segmentation::Tcpv6)
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
                          : type == kGsoTcpv6 ? Segmentation::Tcpv6
                          : type == kGsoUdpL4 ? Segmentation::UdpL4
                                              : Segmentation::None;
    header.segmentPayload = loadHostOrder16(bytes + 4);
    return header;
}

std::uint64_t overheadOf(std::uint64_t length)
{
    return velmora_ipv4_overhead(length);
}

WirePackets countWirePackets(const std::uint8_t* ip, std::uint32_t length, std::size_t captured,
                             const OffloadHeader& offload)
{
    if (ip == nullptr || captured == 0 || offload.segmentation == Segmentation::None || offload.segmentPayload == 0)
        return asDelivered(length, 0);
    const bool ipv6 = ip[0] >> 4 == 6;
    RepeatedHeaders repeated;
    if (ipv6)
        repeated = repeatedIpv6Headers(ip, length, captured, offload.segmentation);
    else
        repeated.bytes = repeatedHeaderBytes(ip, length, captured, offload.segmentation);
    const std::size_t headers = repeated.bytes;
    if (headers == 0 || length <= headers)
        return asDelivered(length, ipv6 ? ipv6Allowance(walkIpv6Headers(ip, captured)) : 0);
    // The kernel source counts its super-packets with the same function (counting_rules.h).
    const velmora_wire wire = velmora_segments(length, headers, offload.segmentPayload, ipv6 ? repeated.allowance : 0);
    return {wire.packets, wire.bytes, wire.overhead};
}
