#include "capture/packet_decode.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

namespace {

TEST(PacketDecode, SummaryReadsAddressesAndPortsAtFixedOffsets)
{
    const auto packet = makePacket(ipv4(198, 51, 100, 1), ipv4(10, 0, 0, 255), 443, 51000, 60);
    PacketSummary summary;
    ASSERT_TRUE(summarisePacket(packet.data(), 60, packet.size(), summary));
    EXPECT_EQ(summary.source, ipv4(198, 51, 100, 1));
    EXPECT_EQ(summary.destination, ipv4(10, 0, 0, 255));
    EXPECT_EQ(summary.sourcePort, 443);
    EXPECT_EQ(summary.destinationPort, 51000);
    EXPECT_EQ(summary.length, 60);
}

TEST(PacketDecode, LengthAndBytesAtHandDecideWhatCounts)
{
    const auto packet = makePacket(1, 2, 3, 4, 64);
    struct Case {
        int length;
        std::size_t available;
        bool counts, tcpView;
    };
    for (const Case c : {Case{-1, 64, false, false}, Case{20, 64, false, false}, Case{28, 64, false, false},
                         Case{29, 64, true, false}, Case{40, 64, true, false}, Case{41, 64, true, true},
                         Case{1500, 24, true, true}, Case{1500, 23, false, false}}) {
        PacketSummary summary;
        EXPECT_EQ(summarisePacket(packet.data(), c.length, c.available, summary), c.counts) << c.length;
        if (c.counts) {
            EXPECT_EQ(summary.hasTcpView, c.tcpView) << c.length;
        }
    }
    PacketSummary summary;
    EXPECT_FALSE(summarisePacket(nullptr, 64, 64, summary));
}

} // namespace
