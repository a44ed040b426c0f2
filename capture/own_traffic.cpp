#include "capture/own_traffic.h"

#include "capture/packet_decode.h"

#include <linux/if_packet.h>

#include <algorithm>

namespace {

// A frame leaving `interfaceIndex` with another Ethernet source address than the interface's
// own was sent by an interface stacked on it (a macvlan), which counted it already.
bool sentByAnotherInterface(const MachineAddresses& machine, int interfaceIndex, const std::uint8_t* linkSource)
{
    const HardwareAddress* own = machine.hardwareAddress(interfaceIndex);
    return own != nullptr && linkSource != nullptr && !std::equal(own->begin(), own->end(), linkSource);
}

} // namespace

std::optional<PacketWay> ownPacketWay(const MachineAddresses& machine, int interfaceIndex, std::uint8_t packetType,
                                      const std::uint8_t* ip, std::size_t captured, const std::uint8_t* linkSource)
{
    IpAddress source;
    IpAddress destination;
    if (!readPacketEnds(ip, captured, source, destination))
        return std::nullopt;
    switch (packetType) {
    case PACKET_OUTGOING:
        if (!machine.holds(source) || sentByAnotherInterface(machine, interfaceIndex, linkSource))
            return std::nullopt;
        return PacketWay::Sent;
    case PACKET_HOST:
        return machine.holds(destination) ? std::optional(PacketWay::Received) : std::nullopt;
    case PACKET_BROADCAST:
    case PACKET_MULTICAST:
        return PacketWay::Received;
    default:
        return std::nullopt;
    }
}
