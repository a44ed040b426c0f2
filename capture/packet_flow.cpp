#include "capture/packet_flow.h"

#include "capture/packet_decode.h"

bool packetFlow(const CapturedPacket& captured, FlowKey& key, FlowCount& count)
{
    PacketSummary packet;
    if (!summarisePacket(captured.data, captured.delivered, captured.captured, packet))
        return false;
    count = {packet.bytes, packet.overhead, 1};
    if (captured.offload.segmentation != Segmentation::None) {
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
    return true;
}
