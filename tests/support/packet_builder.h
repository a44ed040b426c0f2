#pragma once
// Hand-built IPv4 packets for the accounting tests, and the sums they are checked against.

#include "accounting/traffic_meter.h"
#include "capture/captured_packet.h"
#include "capture/packet_flow.h"
#include "profile/profile.h"

#include <cstdint>
#include <vector>

inline std::vector<std::uint8_t> makePacket(std::uint32_t source, std::uint32_t destination,
                                            std::uint16_t sourcePort, std::uint16_t destinationPort,
                                            std::size_t length)
{
    std::vector<std::uint8_t> bytes(length < 24 ? 24 : length, 0);
    bytes[0] = 0x45;
    if (length <= 0xffff) { // total length; 0 above 64 KiB, as for BIG TCP
        bytes[2] = std::uint8_t(length >> 8);
        bytes[3] = std::uint8_t(length);
    }
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = std::uint8_t(v >> (24 - 8 * i));
    };
    put32(12, source);
    put32(16, destination);
    bytes[20] = std::uint8_t(sourcePort >> 8);
    bytes[21] = std::uint8_t(sourcePort);
    bytes[22] = std::uint8_t(destinationPort >> 8);
    bytes[23] = std::uint8_t(destinationPort);
    return bytes;
}

// The packet as the capture hands it over: `delivered` bytes from the IP header on.
inline CapturedPacket capturedPacket(const std::vector<std::uint8_t>& bytes, std::int32_t delivered, PacketWay way,
                                     OffloadHeader offload = {})
{
    return {bytes.data(), delivered, bytes.size(), offload, way};
}

// Accounts a packet as the engine accounts the ring's packets: one flow record each.
inline void countPacket(CTrafficMeter& meter, const CapturedPacket& packet)
{
    FlowKey key;
    FlowCount count;
    if (packetFlow(packet, key, count))
        meter.countFlow(key, count);
}

// Everything in a profile's day history, downloads and uploads apart.
inline DayTotals historyTotals(const CProfile& profile)
{
    DayTotals sum;
    for (const YearHistory& year : profile.history)
        for (const DayTotals& day : year.days) {
            sum.down += day.down;
            sum.up += day.up;
        }
    return sum;
}

constexpr std::uint32_t ipv4(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return a << 24 | b << 16 | c << 8 | d;
}
