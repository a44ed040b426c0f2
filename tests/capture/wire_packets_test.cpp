#include "capture/wire_packets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The headers of a super-packet as the kernel delivers them: IPv4 (`ipHeader` bytes, total
// length field `totalLength`), then a TCP header with `tcpHeader` bytes or a UDP header.
struct Headers {
    std::uint8_t protocol = 6;
    std::size_t ipHeader = 20;
    std::size_t tcpHeader = 32;
    std::uint32_t totalLength = 0;
    std::uint8_t versionNibble = 4;
    std::uint8_t fragmentByte6 = 0x40; // don't fragment
};

std::vector<std::uint8_t> headerBytes(const Headers& h)
{
    std::vector<std::uint8_t> bytes(h.ipHeader + 60, 0);
    bytes[0] = std::uint8_t(h.versionNibble << 4 | (h.ipHeader / 4 & 0x0f));
    bytes[2] = std::uint8_t(h.totalLength >> 8);
    bytes[3] = std::uint8_t(h.totalLength);
    bytes[6] = h.fragmentByte6;
    bytes[9] = h.protocol;
    bytes[h.ipHeader + 12] = std::uint8_t(h.tcpHeader / 4 << 4);
    return bytes;
}

constexpr Segmentation kTcp = Segmentation::Tcpv4;
constexpr Segmentation kUdp = Segmentation::UdpL4;
constexpr Segmentation kNone = Segmentation::None;

struct Case {
    const char* what;
    Headers headers;
    std::uint32_t length;       // IP bytes delivered
    OffloadHeader offload;
    WirePackets expected;
};

TEST(WirePackets, SuperPacketsCountTheirSegmentsAndMalformedOnesCountAsDelivered)
{
    const Case cases[] = {
        // TSO as veth delivers it: 5 x 1448 payload bytes behind 52 bytes of headers.
        {"tcp, whole segments", {6, 20, 32, 7292}, 7292, {kTcp, 1448}, {5, 5 * 1500, 5 * 40}},
        {"tcp, short last", {6, 20, 20, 3040}, 3040, {kTcp, 1448}, {3, 3 * 40 + 3000, 3 * 40}},
        {"tcp, payload below one segment", {6, 20, 20, 140}, 140, {kTcp, 1448}, {1, 140, 40}},
        {"tcp, IP options", {6, 24, 20, 3044}, 3044, {kTcp, 1000}, {3, 3 * 44 + 3000, 3 * 40}},
        {"tcp, beyond 64 KB (total length 0)", {6, 20, 20, 0}, 100040, {kTcp, 1000}, {100, 100 * 1040, 100 * 40}},
        {"udp, last segment longer than 40", {17, 20, 0, 5528}, 5528, {kUdp, 1000}, {6, 6 * 28 + 5500, 6 * 40}},
        {"udp, last segment of 38 bytes", {17, 20, 0, 2038}, 2038, {kUdp, 1000}, {3, 3 * 28 + 2010, 40 + 40 + 28}},
        {"udp, 12-byte segments", {17, 20, 0, 64}, 64, {kUdp, 12}, {3, 3 * 28 + 36, 3 * 28}},
        // Not a super-packet, or one whose headers disagree: one packet, as delivered.
        {"no offload", {6, 20, 20, 7292}, 7292, {kNone, 1448}, {1, 7292, 40}},
        {"no offload, 40 bytes", {6, 20, 20, 40}, 40, {kNone, 0}, {1, 40, 28}},
        {"segment size 0", {6, 20, 20, 3040}, 3040, {kTcp, 0}, {1, 3040, 40}},
        {"tcp type on a udp packet (tunnel)", {17, 20, 20, 3040}, 3040, {kTcp, 1000}, {1, 3040, 40}},
        {"udp type on a tcp packet", {6, 20, 20, 3040}, 3040, {kUdp, 1000}, {1, 3040, 40}},
        {"IPv6 version nibble", {6, 20, 20, 3040, 6}, 3040, {kTcp, 1000}, {1, 3040, 40}},
        {"header length below 20", {6, 16, 20, 3040}, 3040, {kTcp, 1000}, {1, 3040, 40}},
        {"tcp data offset below 20", {6, 20, 16, 3040}, 3040, {kTcp, 1000}, {1, 3040, 40}},
        {"total length disagrees", {6, 20, 20, 3000}, 3040, {kTcp, 1000}, {1, 3040, 40}},
        {"total length 0 below 64 KB", {6, 20, 20, 0}, 3040, {kTcp, 1000}, {1, 3040, 40}},
        {"more fragments", {6, 20, 20, 3040, 4, 0x20}, 3040, {kTcp, 1000}, {1, 3040, 40}},
        {"headers only", {6, 20, 20, 40}, 40, {kTcp, 1000}, {1, 40, 28}},
        {"headers longer than the packet", {6, 60, 60, 100}, 100, {kTcp, 10}, {1, 100, 40}},
    };
    for (const Case& c : cases) {
        Headers headers = c.headers;
        const std::vector<std::uint8_t> bytes = headerBytes(headers);
        const WirePackets wire = countWirePackets(bytes.data(), c.length, bytes.size(), c.offload);
        EXPECT_EQ(wire.packets, c.expected.packets) << c.what;
        EXPECT_EQ(wire.bytes, c.expected.bytes) << c.what;
        EXPECT_EQ(wire.overhead, c.expected.overhead) << c.what;
    }
}

TEST(WirePackets, HeadersBeyondTheCapturedBytesAreNeverRead)
{
    const std::vector<std::uint8_t> bytes = headerBytes({6, 20, 20, 3040});
    // The TCP data offset is byte 32: with 32 bytes at hand the packet counts as delivered.
    for (std::size_t captured : {0, 19, 32}) {
        const std::vector<std::uint8_t> held(bytes.begin(), bytes.begin() + std::ptrdiff_t(captured));
        const WirePackets wire = countWirePackets(held.data(), 3040, held.size(), {kTcp, 1000});
        EXPECT_EQ(wire.packets, 1u) << captured;
        EXPECT_EQ(wire.bytes, 3040u) << captured;
    }
    EXPECT_EQ(countWirePackets(bytes.data(), 3040, 33, {kTcp, 1000}).packets, 3u);
    EXPECT_EQ(countWirePackets(nullptr, 3040, 0, {kTcp, 1000}).bytes, 3040u);
}

TEST(WirePackets, OffloadHeaderGivesTypeAndSegmentSize)
{
    struct HeaderCase {
        std::uint8_t type;
        Segmentation expected;
    };
    const HeaderCase cases[] = {{0, kNone}, {1, kTcp}, {0x81, kTcp}, {3, kNone}, {4, Segmentation::Tcpv6}, {5, kUdp}, {0x85, kUdp}, {0xff, kNone}};
    for (const HeaderCase& c : cases) {
        std::uint8_t bytes[kOffloadHeaderBytes] = {1, c.type};
        const std::uint16_t size = 1448, headerLength = 66;
        std::memcpy(bytes + 2, &headerLength, 2); // host order, as the packet socket writes it
        std::memcpy(bytes + 4, &size, 2);
        const OffloadHeader header = readOffloadHeader(bytes);
        EXPECT_EQ(header.segmentation, c.expected) << int(c.type);
        EXPECT_EQ(header.segmentPayload, 1448) << int(c.type);
    }
}

} // namespace
