#include "capture/packet_decode.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

namespace {

TEST(PacketDecode, SummaryReadsAddressesAndPortsAtFixedOffsets)
{
    const auto packet = makePacket(ipv4(198, 51, 100, 1), ipv4(10, 0, 0, 255), 443, 51000, 60);
    PacketSummary summary;
    ASSERT_TRUE(summarisePacket(packet.data(), 60, packet.size(), summary));
    EXPECT_EQ(summary.source, IpAddress::fromV4(ipv4(198, 51, 100, 1)));
    EXPECT_EQ(summary.destination, IpAddress::fromV4(ipv4(10, 0, 0, 255)));
    EXPECT_EQ(summary.sourcePort, 443);
    EXPECT_EQ(summary.destinationPort, 51000);
    EXPECT_EQ(summary.length, 60);
}

TEST(PacketDecode, LengthAndBytesAtHandDecideWhatCounts)
{
    const auto packet = makePacket(1, 2, 3, 4, 64);
    struct Case {
        int delivered;
        std::size_t available;
        bool counts;
    };
    for (const Case c : {Case{-1, 64, false}, Case{20, 64, false}, Case{28, 64, false}, Case{29, 64, true},
                         Case{1500, 24, true}, Case{1500, 23, false}}) {
        PacketSummary summary;
        EXPECT_EQ(summarisePacket(packet.data(), c.delivered, c.available, summary), c.counts) << c.delivered;
    }
    PacketSummary summary;
    EXPECT_FALSE(summarisePacket(nullptr, 64, 64, summary));
}

} // namespace
