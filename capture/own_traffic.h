#pragma once
// Which packets the socket sees are this machine's own traffic, and which way they went.
//
// The socket sees every packet that crosses an interface: the machine's own, and those it
// only forwards (a router, a host of containers or virtual machines), which cross two
// interfaces and belong to neither end. The kernel tells the way (sll_pkttype, packet(7)):
// PACKET_OUTGOING for a packet leaving, PACKET_HOST for one addressed to this host's link
// address, PACKET_BROADCAST and PACKET_MULTICAST for the link's broadcasts and multicasts.
//
// - Sent: leaving from one of the machine's addresses. The interface need not hold it: with
//   two interfaces on one network, or routes that say so, a packet leaves through another
//   interface than the one holding its source (the weak host model, RFC 1122, 3.3.4.2).
// - Received: arriving for one of the machine's addresses (likewise on any interface: a
//   neighbour may reach an address through another interface's link address), or a
//   broadcast or multicast it received.
// - Anything else is not counted: a forwarded packet has neither end on the machine.
// - Copies are not counted twice. A VLAN's parent sees its VLAN's packets with the tag in the
//   metadata: the kernel filter drops them (capture_filter.h). A macvlan sends through its
//   lower interface, whose taps see the frame again with the macvlan's own source address:
//   an Ethernet frame leaving with another interface's source address is not counted there.
//   A macvlan's lower interface sees frames for it as PACKET_OTHERHOST (filtered). A bridge's
//   ports and a bond's slaves hold no address and are not counted interfaces.

#include "capture/flow_count.h"
#include "net/machine_addresses.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// `ip`: the packet from its IP header on, `captured` bytes of it; `linkSource`: the Ethernet
// frame's source address, null on other links.
std::optional<PacketWay> ownPacketWay(const MachineAddresses& machine, int interfaceIndex, std::uint8_t packetType,
                                      const std::uint8_t* ip, std::size_t captured, const std::uint8_t* linkSource);
