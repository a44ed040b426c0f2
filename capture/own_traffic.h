#pragma once
// Which packets the socket sees are this machine's own traffic, and which way they went.
//
// The socket sees every packet that crosses an interface: the machine's own, and those it
// only forwards (a router, a host of containers or virtual machines), which cross two
// interfaces and belong to neither end. The kernel tells the way (sll_pkttype, packet(7)):
// PACKET_OUTGOING for a packet leaving, PACKET_HOST for one addressed to this host's link
// address, PACKET_BROADCAST and PACKET_MULTICAST for the link's broadcasts and multicasts.
//
// - Sent: leaving an interface from an address that interface holds.
// - Received: arriving at an interface for an address that interface holds, or a broadcast
//   or multicast it received.
// - Anything else is not counted: a forwarded packet has neither end on the machine, and the
//   copies that stacked interfaces show a second time (a VLAN's parent, a macvlan's lower
//   interface, a bridge's port) carry an address their interface does not hold.

#include "capture/machine_addresses.h"

#include <cstddef>
#include <cstdint>
#include <optional>

enum class PacketWay : std::uint8_t { Received, Sent };

// `ip`: the packet from its IP header on, `captured` bytes of it.
std::optional<PacketWay> ownPacketWay(const MachineAddresses& machine, int interfaceIndex, std::uint8_t packetType,
                                      const std::uint8_t* ip, std::size_t captured);
