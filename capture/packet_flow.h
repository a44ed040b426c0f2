#pragma once
// The ring's packets as the accounting takes them: one flow record per packet.

#include "capture/captured_packet.h"
#include "capture/flow_count.h"
#include "capture/packet_decode.h"
#include "capture/wire_packets.h"

// Decodes the packet once (packet_decode.h) and, for a super-packet, counts the wire packets it
// stands for (wire_packets.h). False for a packet that counts for no profile: too short, not
// IPv4 or IPv6, or its fixed header not captured; key and count are then unspecified. Inline:
// it runs for every packet, between the decoding and the accounting.
inline bool packetFlow(const CapturedPacket& captured, FlowKey& key, FlowCount& count)
{
    PacketSummary packet;
    if (!summarisePacket(captured.data, captured.delivered, captured.captured, packet))
        return false;
    count = {packet.bytes, packet.overhead, 1};
    if (captured.offload.segmentation != Segmentation::None) [[unlikely]] {
        const WirePackets wire =
            countWirePackets(captured.data, std::uint32_t(packet.length), captured.captured, captured.offload);
        count = {wire.bytes, wire.overhead, wire.packets};
    }
    // Received: the machine is the destination; sent: the source.
    const bool received = captured.way == PacketWay::Received;
    key.local = received ? packet.destination : packet.source;
    key.remote = received ? packet.source : packet.destination;
    key.localPort = received ? packet.destinationPort : packet.sourcePort;
    key.remotePort = received ? packet.sourcePort : packet.destinationPort;
    key.protocol = packet.protocol;
    key.direction = captured.way;
    key.interfaceIndex = captured.interfaceIndex;
    return true;
}
