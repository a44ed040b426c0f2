#pragma once
// What a packet source hands the accounting: one record per flow, the flow's key and what it
// carried since the last record. The ring hands one record per packet (packet_flow.h); a
// source that counts in the kernel hands one per flow and period.

#include "net/ip_address.h"

#include <cstdint>

enum class PacketWay : std::uint8_t { Received, Sent };

// One direction of one conversation of the machine. IpAddress keeps IPv4 in the IPv4-mapped
// range, so one comparison serves both families.
struct FlowKey {
    IpAddress local;  // the machine's end: the destination of what it received, the source of what it sent
    IpAddress remote; // the other end (a broadcast or multicast group for such a packet received)
    std::uint16_t localPort = 0;  // TCP and UDP only; 0 for other protocols and later fragments
    std::uint16_t remotePort = 0;
    std::uint8_t protocol = 0; // IPv4 protocol or IPv6 transport header (IANA numbers; 59: none known)
    PacketWay direction = PacketWay::Received;
    // 4 or 6. 0: traffic a source counted without its ends (a kernel table that was full):
    // addresses and ports mean nothing, and only the profiles that count every address and
    // port of the machine can take it.
    std::uint8_t family = 4;
    int interfaceIndex = 0; // where it was counted; 0 without its ends
    // The cgroup (v2) of the packet's socket, its directory's inode number: the program that
    // sent or receives it. 0: the system's (no socket: the kernel's own answers, a socket
    // gone), and everything the ring counts, which cannot see sockets.
    std::uint64_t cgroup = 0;
};

struct FlowCount {
    std::uint64_t bytes = 0;    // IP lengths, summed over the wire packets
    std::uint64_t overhead = 0; // header allowance, summed over the wire packets (wire_packets.h)
    std::uint64_t packets = 0;  // wire packets: the segments an offloaded super-packet stands for
};

struct FlowRecord {
    FlowKey key;
    FlowCount count;
};
