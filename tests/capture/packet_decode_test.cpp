#include "capture/packet_decode.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PacketDecode, ViewsReadAddressesAndPortsAtFixedOffsets)
{
    const auto packet = makePacket(ipv4(198, 51, 100, 1), ipv4(10, 0, 0, 255), 443, 51000, 60);
    IpHeaderInfo ip;
    ASSERT_TRUE(decodeIpHeader(packet.data(), 60, ip));
    EXPECT_STREQ(ip.source, "198.51.100.1");
    EXPECT_STREQ(ip.destination, "10.0.0.255");
    TcpHeaderInfo tcp;
    ASSERT_TRUE(decodeTcpHeader(packet.data(), 60, tcp));
    EXPECT_EQ(tcp.sourcePort, 443);
    EXPECT_EQ(tcp.destinationPort, 51000);
    EXPECT_EQ(tcp.reserved, 0);
    UdpHeaderInfo udp;
    ASSERT_TRUE(decodeUdpHeader(packet.data(), 60, udp));
    EXPECT_EQ(udp.destinationPort, 51000);
}

TEST(PacketDecode, LengthDecidesWhichViewsExist)
{
    const auto packet = makePacket(1, 2, 3, 4, 64);
    struct Case {
        int length;
        bool ip, udp, tcp;
    };
    for (const Case c : {Case{-1, false, false, false}, Case{20, false, false, false}, Case{21, true, false, false},
                         Case{28, true, false, false}, Case{29, true, true, false}, Case{40, true, true, false},
                         Case{41, true, true, true}}) {
        IpHeaderInfo ip;
        UdpHeaderInfo udp;
        TcpHeaderInfo tcp;
        EXPECT_EQ(decodeIpHeader(packet.data(), c.length, ip), c.ip) << c.length;
        EXPECT_EQ(decodeUdpHeader(packet.data(), c.length, udp), c.udp) << c.length;
        EXPECT_EQ(decodeTcpHeader(packet.data(), c.length, tcp), c.tcp) << c.length;
        PacketSummary summary;
        EXPECT_EQ(summarisePacket(packet.data(), c.length, packet.size(), summary), c.udp) << c.length;
    }
}

} // namespace
