#pragma once
// The kernel source's flow entries (counting_rules.h) as the accounting takes them
// (flow_count.h): the same fields, the addresses as IpAddress.

#include "capture/counting_rules.h"
#include "capture/flow_count.h"

inline FlowKey flowKeyOf(const velmora_flow_key& entry)
{
    FlowKey key;
    key.local = IpAddress::fromV6(entry.local);
    key.remote = IpAddress::fromV6(entry.remote);
    key.localPort = entry.localPort;
    key.remotePort = entry.remotePort;
    key.protocol = entry.protocol;
    key.direction = entry.direction == VELMORA_SENT ? PacketWay::Sent : PacketWay::Received;
    key.family = entry.family;
    key.interfaceIndex = int(entry.interfaceIndex);
    key.cgroup = entry.cgroup;
    return key;
}

inline FlowCount flowCountOf(const velmora_flow_count& count)
{
    return {count.bytes, count.overhead, count.packets};
}
