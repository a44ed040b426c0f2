// IPv6 packets as they reach the accounting, crafted: extension headers of every kind that may
// precede the transport header, chains cut short by the capture or longer than any real one,
// jumbo payloads, fragments. Every read must stay within the captured bytes (the fuzzer and
// AddressSanitizer check that); here the results are checked.

#include "capture/packet_decode.h"
#include "capture/wire_packets.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::uint8_t kTcp = 6, kUdp = 17, kIcmpv6 = 58, kHopByHop = 0, kRouting = 43, kFragment = 44,
                       kDestination = 60, kEsp = 50, kNoNext = 59;

// One extension header of `units` 8-byte units (the fragment header: 1), `next` after it.
std::vector<std::uint8_t> extension(std::uint8_t type, std::uint8_t next, std::size_t units = 1,
                                    std::uint16_t fragmentOffset = 0)
{
    std::vector<std::uint8_t> header(units * 8, 0);
    header[0] = next;
    if (type == kFragment) {
        header[2] = std::uint8_t(fragmentOffset >> 5);
        header[3] = std::uint8_t(fragmentOffset << 3);
    } else {
        header[1] = std::uint8_t(units - 1);
        header[2] = 1; // PadN over the rest
        header[3] = std::uint8_t(units * 8 - 4);
    }
    return header;
}

// A hop-by-hop header of 8 bytes holding the jumbo payload option (RFC 2675).
std::vector<std::uint8_t> jumbo(std::uint8_t next, std::uint32_t length)
{
    return {next, 0, 0xc2, 4, std::uint8_t(length >> 24), std::uint8_t(length >> 16), std::uint8_t(length >> 8),
            std::uint8_t(length)};
}

// 2001:db8::2 -> 2001:db8::1, first next header `next`, then `chain`, then a transport header
// with ports 443 -> 5000 and a TCP data offset of 20 bytes; `payloadLength` as given.
std::vector<std::uint8_t> ipv6Packet(std::uint8_t next, std::vector<std::vector<std::uint8_t>> chain,
                                     std::uint16_t payloadLength)
{
    std::vector<std::uint8_t> bytes(40, 0);
    bytes[0] = 0x60;
    bytes[4] = std::uint8_t(payloadLength >> 8);
    bytes[5] = std::uint8_t(payloadLength);
    bytes[6] = next;
    bytes[7] = 64;
    for (int at : {8, 24}) {
        bytes[std::size_t(at)] = 0x20, bytes[std::size_t(at) + 1] = 0x01, bytes[std::size_t(at) + 2] = 0x0d;
        bytes[std::size_t(at) + 3] = 0xb8;
    }
    bytes[23] = 2;
    bytes[39] = 1;
    for (const auto& header : chain)
        bytes.insert(bytes.end(), header.begin(), header.end());
    const std::uint8_t transport[20] = {0x01, 0xbb, 0x13, 0x88, 0, 0, 0, 0, 0, 0, 0, 0, 5 << 4};
    bytes.insert(bytes.end(), transport, transport + 20);
    return bytes;
}

struct Case {
    const char* what;
    std::vector<std::uint8_t> packet;
    std::int32_t delivered;
    std::size_t captured; // 0: the whole packet
    std::int32_t length;
    std::uint16_t remotePort; // the source port: 443 when read, 0 when not
    std::uint64_t overhead;
};

TEST(Ipv6Decode, ExtensionHeadersLengthsPortsAndOverhead)
{
    const std::vector<std::uint8_t> longChain = [] {
        std::vector<std::vector<std::uint8_t>> chain(12, extension(kDestination, kDestination));
        chain.back() = extension(kDestination, kTcp);
        return ipv6Packet(kDestination, chain, 12 * 8 + 20);
    }();
    const Case cases[] = {
        {"tcp", ipv6Packet(kTcp, {}, 1000), 1040, 0, 1040, 443, 60},
        {"udp", ipv6Packet(kUdp, {}, 100), 140, 0, 140, 443, 48},
        {"icmpv6: no ports", ipv6Packet(kIcmpv6, {}, 64), 104, 0, 104, 0, 48},
        {"hop-by-hop, then tcp", ipv6Packet(kHopByHop, {extension(kHopByHop, kTcp)}, 1008), 1048, 0, 1048, 443, 68},
        {"routing of 24 bytes, then udp", ipv6Packet(kRouting, {extension(kRouting, kUdp, 3)}, 124), 164, 0, 164, 443,
         72},
        {"hop-by-hop, destination options, first fragment, udp",
         ipv6Packet(kHopByHop,
                    {extension(kHopByHop, kDestination), extension(kDestination, kFragment), extension(kFragment, kUdp)},
                    1232),
         1272, 0, 1272, 443, 72},
        {"a later fragment has no transport header", ipv6Packet(kFragment, {extension(kFragment, kUdp, 1, 185)}, 1008),
         1048, 0, 1048, 0, 48},
        {"chain beyond the captured bytes", ipv6Packet(kHopByHop, {extension(kHopByHop, kTcp, 4)}, 1052), 1092, 44, 1092,
         0, 40},
        {"chain longer than any real one", longChain, 1500, 0, 156, 0, 40 + 8 * 8},
        {"unknown header (ESP) ends the walk", ipv6Packet(kEsp, {}, 500), 540, 0, 540, 0, 40},
        {"payload length beyond the frame", ipv6Packet(kTcp, {}, 9000), 1500, 0, 1500, 443, 60},
        {"padding after the packet", ipv6Packet(kUdp, {}, 20), 60 + 6, 0, 60, 443, 48},
        {"jumbo payload", ipv6Packet(kHopByHop, {jumbo(kTcp, 100000)}, 0), 100040, 0, 100040, 443, 68},
        {"jumbo option in a later header is ignored",
         ipv6Packet(kDestination, {extension(kDestination, kHopByHop), jumbo(kTcp, 100000)}, 0), 100040, 0, 100040, 443,
         76},
        {"payload length 0 without jumbo, above 64 KiB", ipv6Packet(kTcp, {}, 0), 70000, 0, 70000, 443, 60},
        {"payload length 0 without jumbo: what was delivered", ipv6Packet(kUdp, {}, 0), 68, 0, 68, 443, 48},
        {"payload length 0 without jumbo, the fixed header alone", ipv6Packet(kNoNext, {}, 0), 40, 0, 40, 0, 40},
    };
    for (const Case& c : cases) {
        PacketSummary summary;
        const std::size_t captured = c.captured != 0 ? c.captured : c.packet.size();
        ASSERT_TRUE(summarisePacket(c.packet.data(), c.delivered, captured, summary)) << c.what;
        EXPECT_EQ(summary.length, c.length) << c.what;
        EXPECT_EQ(summary.bytes, std::uint64_t(c.length)) << c.what;
        EXPECT_EQ(summary.sourcePort, c.remotePort) << c.what;
        EXPECT_EQ(summary.destinationPort, c.remotePort != 0 ? 5000 : 0) << c.what;
        EXPECT_EQ(summary.overhead, c.overhead) << c.what;
        EXPECT_EQ(ipAddressText(summary.source), "2001:db8::2") << c.what;
        EXPECT_EQ(ipAddressText(summary.destination), "2001:db8::1") << c.what;
    }
    PacketSummary summary;
    EXPECT_FALSE(summarisePacket(ipv6Packet(kTcp, {}, 1000).data(), 1040, 39, summary)) << "fixed header cut";
    EXPECT_FALSE(summarisePacket(ipv6Packet(kTcp, {}, 1000).data(), 39, 60, summary)) << "shorter than a header";
}

TEST(Ipv6Decode, SuperPacketsCountTheirWireSegments)
{
    // TCPV6: 3000 payload bytes in 1440-byte segments behind 40 + 20 bytes of headers.
    const auto tcp = ipv6Packet(kTcp, {}, 3020);
    const WirePackets segments = countWirePackets(tcp.data(), 3060, tcp.size(), {Segmentation::Tcpv6, 1440});
    EXPECT_EQ(segments.packets, 3u);
    EXPECT_EQ(segments.bytes, 3u * 60 + 3000);
    EXPECT_EQ(segments.overhead, 3u * 60);
    // UDP_L4 over IPv6, 2000 payload bytes in 1000-byte datagrams.
    const auto udp = ipv6Packet(kUdp, {}, 2008);
    const WirePackets datagrams = countWirePackets(udp.data(), 2048, udp.size(), {Segmentation::UdpL4, 1000});
    EXPECT_EQ(datagrams.packets, 2u);
    EXPECT_EQ(datagrams.bytes, 2u * 48 + 2000);
    EXPECT_EQ(datagrams.overhead, 2u * 48);
    // The offload header disagrees with the packet (TCPV4 on IPv6, TCPV6 on UDP): as delivered.
    EXPECT_EQ(countWirePackets(tcp.data(), 3060, tcp.size(), {Segmentation::Tcpv4, 1440}).packets, 1u);
    EXPECT_EQ(countWirePackets(udp.data(), 2048, udp.size(), {Segmentation::Tcpv6, 1000}).packets, 1u);
    // Fewer bytes at hand than the fixed header (a fuzzer's find): as delivered, nothing read.
    const std::vector<std::uint8_t> head(tcp.begin(), tcp.begin() + 7);
    EXPECT_EQ(countWirePackets(head.data(), 3060, head.size(), {Segmentation::Tcpv6, 1440}).bytes, 3060u);
}

} // namespace
