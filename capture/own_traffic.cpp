#include "capture/own_traffic.h"

#include "capture/packet_decode.h"

#include <linux/if_packet.h>

std::optional<PacketWay> ownPacketWay(const MachineAddresses& machine, int interfaceIndex, std::uint8_t packetType,
                                      const std::uint8_t* ip, std::size_t captured)
{
    IpAddress source;
    IpAddress destination;
    if (!readPacketEnds(ip, captured, source, destination))
        return std::nullopt;
    switch (packetType) {
    case PACKET_OUTGOING:
        return machine.holds(interfaceIndex, source) ? std::optional(PacketWay::Sent) : std::nullopt;
    case PACKET_HOST:
        return machine.holds(interfaceIndex, destination) ? std::optional(PacketWay::Received) : std::nullopt;
    case PACKET_BROADCAST:
    case PACKET_MULTICAST:
        return PacketWay::Received;
    default:
        return std::nullopt;
    }
}
