/* The kernel packet source: run at the ingress and egress of every counted interface, adds
 * each packet of the machine's own traffic to its flow's entry in the active flow table, by
 * the rules the ring applies (counting_rules.h, own_traffic.h, packet_decode.h). User space
 * swaps the table once a second and reads the one it took out (kernel_flow_source.h). */

#include <linux/bpf.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <bpf/bpf_core_read.h>
#include <bpf/bpf_endian.h>
#include <bpf/bpf_helpers.h>

#include "capture/counting_rules.h"

#define VELMORA_ICMP 1

/* Let the next program and the stack have the packet: never decide its fate (TCX_NEXT, and
 * TC_ACT_UNSPEC for a classic tc filter). */
#define VELMORA_NEXT -1

struct flow_table {
    __uint(type, BPF_MAP_TYPE_HASH);
    __type(key, struct velmora_flow_key);
    __type(value, struct velmora_flow_count);
    __uint(max_entries, VELMORA_FLOW_TABLE_SIZE);
} flows_a SEC(".maps"), flows_b SEC(".maps");

/* The table the programs add to; user space replaces it (the kernel waits for the programs
 * running on the old one before the update returns). */
struct {
    __uint(type, BPF_MAP_TYPE_ARRAY_OF_MAPS);
    __uint(max_entries, 1);
    __type(key, __u32);
    __array(values, struct flow_table);
} active_flows SEC(".maps") = {
    .values = {[0] = &flows_a},
};

/* The machine's addresses (16 bytes, IPv4 as ::ffff:a.b.c.d). */
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __type(key, __u8[16]);
    __type(value, __u8);
    __uint(max_entries, VELMORA_ADDRESS_TABLE_SIZE);
} machine_addresses SEC(".maps");

/* The counted interfaces by index: a packet of any other interface is left alone. */
struct {
    __uint(type, BPF_MAP_TYPE_HASH);
    __type(key, __u32);
    __type(value, struct velmora_interface);
    __uint(max_entries, VELMORA_INTERFACE_TABLE_SIZE);
} counted_interfaces SEC(".maps");

static __always_inline int holds(const __u8* address)
{
    return bpf_map_lookup_elem(&machine_addresses, address) != 0;
}

static __always_inline void add(struct velmora_flow_key* key, const struct velmora_wire* wire)
{
    __u32 zero = 0;
    void* table = bpf_map_lookup_elem(&active_flows, &zero);
    if (!table)
        return;
    struct velmora_flow_count* count = bpf_map_lookup_elem(table, key);
    if (!count) {
        struct velmora_flow_count fresh = {wire->bytes, wire->overhead, wire->packets};
        if (bpf_map_update_elem(table, key, &fresh, BPF_NOEXIST) == 0)
            return;
        count = bpf_map_lookup_elem(table, key); /* another processor added it meanwhile */
        if (!count) {
            /* The table is full: the direction's overflow entry, which user space puts in
             * every table, keeps the bytes. */
            struct velmora_flow_key overflow = {};
            overflow.direction = key->direction;
            count = bpf_map_lookup_elem(table, &overflow);
            if (!count)
                return;
        }
    }
    __sync_fetch_and_add(&count->bytes, wire->bytes);
    __sync_fetch_and_add(&count->overhead, wire->overhead);
    __sync_fetch_and_add(&count->packets, wire->packets);
}

/* ICMP messages only the kernel sends: answers to echo requests and timestamps, errors, and
 * for IPv6 the neighbour and multicast listener messages. The kernel sends them through its
 * own control sockets, which belong to the cgroup of whatever made the network namespace:
 * such a packet is the system's, never a program's. */
static __always_inline int kernel_message(__u8 protocol, __u8 type)
{
    if (protocol == VELMORA_ICMP)
        return type == 0 || type == 3 || type == 4 || type == 5 || type == 11 || type == 12 || type == 14;
    if (protocol == VELMORA_ICMPV6)
        return (type >= 1 && type <= 4) || (type >= 129 && type <= 133) || (type >= 135 && type <= 137) ||
               type == 143;
    return 0;
}

/* The cgroup of the socket that sent a packet: the sending socket travels with it to the
 * interface (a connection being opened: its listener's). 0 without a full socket. */
static __always_inline __u64 sender_cgroup(struct __sk_buff* skb, __u8 protocol, __u8 icmpType)
{
    if (kernel_message(protocol, icmpType))
        return 0;
    return bpf_skb_cgroup_id(skb);
}

/* The kernel's own structures, as far as the programs read them: a socket's cgroup and the
 * cgroup's directory, whose inode number is the cgroup's id. The loader finds the fields'
 * places in the running kernel's type information (BTF). */
struct kernfs_node {
    __u64 id;
} __attribute__((preserve_access_index));
struct cgroup {
    struct kernfs_node* kn;
} __attribute__((preserve_access_index));
struct sock_cgroup_data {
    struct cgroup* cgroup;
} __attribute__((preserve_access_index));
struct sock {
    struct sock_cgroup_data sk_cgrp_data;
} __attribute__((preserve_access_index));

/* Whether the programs read the socket of a received packet (set before loading): reading a
 * kernel structure needs CAP_PERFMON besides CAP_BPF. Without it the verifier never sees that
 * code, and received packets count as the system's. */
const volatile __u8 read_receiving_sockets = 1;

/* Reads a kernel object as the given type (a kernel function, Linux 6.2 and later). */
extern void* bpf_rdonly_cast(const void* object, __u32 typeId) __ksym __weak;

/* The cgroup of the socket that will take a received TCP or UDP packet, looked up as the
 * stack will look it up (a connection being opened: its listener's; a connection in TIME_WAIT
 * has no full socket and counts as the system's). 0 when none does. */
static __always_inline __u64 receiver_cgroup(struct __sk_buff* skb, struct bpf_sock_tuple* tuple, __u32 size,
                                             __u8 protocol)
{
    struct bpf_sock* socket = 0;
    if (!read_receiving_sockets)
        return 0;
    if (protocol == VELMORA_TCP)
        socket = bpf_sk_lookup_tcp(skb, tuple, size, BPF_F_CURRENT_NETNS, 0);
    else if (protocol == VELMORA_UDP)
        socket = bpf_sk_lookup_udp(skb, tuple, size, BPF_F_CURRENT_NETNS, 0);
    if (!socket)
        return 0;
    /* The helper that reads a socket's cgroup is not offered to programs at an interface;
     * the socket's own fields are. */
    const struct sock* owner = bpf_rdonly_cast(socket, bpf_core_type_id_kernel(struct sock));
    const __u64 cgroup = owner->sk_cgrp_data.cgroup->kn->id;
    bpf_sk_release(socket);
    return cgroup;
}

/* Whether the packet is the machine's own and which way it went (own_traffic.h): sent from
 * one of its addresses (and not a frame a macvlan sent through this, its lower interface), or
 * received for one of them, or a broadcast or multicast received. */
static __always_inline int own_way(struct __sk_buff* skb, const struct velmora_interface* interface, int egress,
                                   const __u8* source, const __u8* destination, __u8* direction)
{
    if (egress) {
        if (!holds(source))
            return 0;
        if (interface->hasHardware && interface->linkHeader >= ETH_HLEN) {
            __u8 frameSource[6];
            if (bpf_skb_load_bytes(skb, 6, frameSource, 6) != 0)
                return 0;
            __u8 differ = 0;
#pragma unroll
            for (int i = 0; i < 6; ++i)
                differ |= frameSource[i] ^ interface->hardware[i];
            if (differ)
                return 0;
        }
        *direction = VELMORA_SENT;
        return 1;
    }
    *direction = VELMORA_RECEIVED;
    if (skb->pkt_type == PACKET_BROADCAST || skb->pkt_type == PACKET_MULTICAST)
        return 1;
    return skb->pkt_type == PACKET_HOST && holds(destination);
}

static __always_inline void mapped(__u8* to, const __u8* v4)
{
    __builtin_memset(to, 0, 10);
    to[10] = 0xff;
    to[11] = 0xff;
    __builtin_memcpy(to + 12, v4, 4);
}

static __always_inline void count_ipv4(struct __sk_buff* skb, const struct velmora_interface* interface, int egress,
                                       __u32 net, __u32 delivered, __u32 available)
{
    __u8 ip[24];
    if (delivered < VELMORA_IPV4_SHORTEST_COUNTED || available < 24 || bpf_skb_load_bytes(skb, net, ip, 24) != 0)
        return;
    if (ip[0] >> 4 != 4)
        return;
    __u8 source[16], destination[16];
    mapped(source, ip + 12);
    mapped(destination, ip + 16);
    struct velmora_flow_key key = {};
    if (!own_way(skb, interface, egress, source, destination, &key.direction))
        return;
    /* The total length, never the frame's padding; 0 above 64 KiB (BIG TCP): the frame's. */
    const __u32 total = (__u32)ip[2] << 8 | ip[3];
    __u32 length = total < delivered ? total : delivered;
    if (total == 0 && delivered > VELMORA_LARGEST_LENGTH_FIELD)
        length = delivered;
    if (length < VELMORA_IPV4_SHORTEST_COUNTED)
        return;
    struct velmora_wire wire = {1, length, velmora_ipv4_overhead(length)};
    /* A super-packet counts as its wire segments (wire_packets.h): TCP or UDP, no fragment,
     * the header's length the packet's. */
    const __u32 ipHeader = (__u32)(ip[0] & 0x0f) * 4;
    const int fragment = ((ip[6] & 0x3f) | ip[7]) != 0;
    const int lengthAgrees = total == length || (total == 0 && length > VELMORA_LARGEST_LENGTH_FIELD);
    const __u32 segmentPayload = skb->gso_size;
    if (segmentPayload != 0 && ipHeader >= VELMORA_IPV4_HEADER && !fragment && lengthAgrees) {
        __u32 headers = 0;
        if (ip[9] == VELMORA_TCP && available >= ipHeader + 13) {
            __u8 offset = 0;
            if (bpf_skb_load_bytes(skb, net + (ipHeader & 0x3f) + 12, &offset, 1) == 0 &&
                (__u32)(offset >> 4) * 4 >= VELMORA_TCP_HEADER)
                headers = ipHeader + (__u32)(offset >> 4) * 4;
        } else if (ip[9] == VELMORA_UDP) {
            headers = ipHeader + VELMORA_UDP_HEADER;
        }
        if (headers != 0 && length > headers)
            wire = velmora_segments(length, headers, segmentPayload, 0);
    }
    __builtin_memcpy(key.local, key.direction == VELMORA_SENT ? source : destination, 16);
    __builtin_memcpy(key.remote, key.direction == VELMORA_SENT ? destination : source, 16);
    const __u16 sourcePort = (__u16)ip[20] << 8 | ip[21];
    const __u16 destinationPort = (__u16)ip[22] << 8 | ip[23];
    key.localPort = key.direction == VELMORA_SENT ? sourcePort : destinationPort;
    key.remotePort = key.direction == VELMORA_SENT ? destinationPort : sourcePort;
    key.protocol = ip[9];
    key.family = 4;
    key.interfaceIndex = skb->ifindex;
    if (key.direction == VELMORA_SENT) {
        key.cgroup = sender_cgroup(skb, key.protocol, ipHeader == VELMORA_IPV4_HEADER ? ip[20] : 0xff);
    } else if (ipHeader == VELMORA_IPV4_HEADER && !fragment) {
        struct bpf_sock_tuple tuple = {};
        __builtin_memcpy(&tuple.ipv4.saddr, ip + 12, 4);
        __builtin_memcpy(&tuple.ipv4.daddr, ip + 16, 4);
        __builtin_memcpy(&tuple.ipv4.sport, ip + 20, 2);
        __builtin_memcpy(&tuple.ipv4.dport, ip + 22, 2);
        key.cgroup = receiver_cgroup(skb, &tuple, sizeof tuple.ipv4, key.protocol);
    }
    add(&key, &wire);
}

static __always_inline void count_ipv6(struct __sk_buff* skb, const struct velmora_interface* interface, int egress,
                                       __u32 net, __u32 delivered, __u32 available)
{
    __u8 ip[VELMORA_IPV6_HEADER];
    if (delivered < VELMORA_IPV6_HEADER || available < VELMORA_IPV6_HEADER ||
        bpf_skb_load_bytes(skb, net, ip, VELMORA_IPV6_HEADER) != 0)
        return;
    if (ip[0] >> 4 != 6)
        return;
    struct velmora_flow_key key = {};
    if (!own_way(skb, interface, egress, ip + 8, ip + 24, &key.direction))
        return;
    /* The extension headers that may precede the transport header (packet_decode.h). */
    __u8 next = ip[6];
    __u32 offset = VELMORA_IPV6_HEADER;
    int complete = 0, laterFragment = 0, cut = 0;
#pragma unroll
    for (int walked = 0; walked < VELMORA_IPV6_CHAIN_LIMIT; ++walked) {
        if (!velmora_ipv6_walks(next))
            break;
        __u8 header[4];
        if (available < offset + 8 || bpf_skb_load_bytes(skb, net + (offset & 0x7ff), header, 4) != 0) {
            cut = 1;
            break;
        }
        if (next == VELMORA_FRAGMENT && ((((__u32)header[2] << 8) | header[3]) & 0xfff8) != 0)
            laterFragment = 1;
        const __u32 length = next == VELMORA_FRAGMENT ? 8 : ((__u32)header[1] + 1) * 8;
        next = header[0];
        offset += length;
    }
    __u8 transport = VELMORA_NO_NEXT_HEADER;
    if (!cut && !velmora_ipv6_walks(next)) {
        complete = 1;
        transport = laterFragment ? VELMORA_NO_NEXT_HEADER : next;
    }
    const __u32 payload = (__u32)ip[4] << 8 | ip[5];
    __u32 length = payload != 0 ? VELMORA_IPV6_HEADER + payload : delivered;
    if (length > delivered)
        length = delivered;
    const __u64 allowance = velmora_ipv6_allowance(offset, complete, transport);
    struct velmora_wire wire = {1, length, allowance < length ? allowance : length};
    __u16 sourcePort = 0, destinationPort = 0;
    __u8 ports[4];
    if (complete && (transport == VELMORA_TCP || transport == VELMORA_UDP) && available >= offset + 4 &&
        bpf_skb_load_bytes(skb, net + (offset & 0x7ff), ports, 4) == 0) {
        sourcePort = (__u16)ports[0] << 8 | ports[1];
        destinationPort = (__u16)ports[2] << 8 | ports[3];
    }
    const __u32 segmentPayload = skb->gso_size;
    const int lengthAgrees =
        VELMORA_IPV6_HEADER + payload == length || (payload == 0 && length > VELMORA_LARGEST_LENGTH_FIELD);
    if (segmentPayload != 0 && complete && lengthAgrees) {
        __u32 headers = 0;
        if (transport == VELMORA_TCP && available >= offset + 13) {
            __u8 dataOffset = 0;
            if (bpf_skb_load_bytes(skb, net + (offset & 0x7ff) + 12, &dataOffset, 1) == 0 &&
                (__u32)(dataOffset >> 4) * 4 >= VELMORA_TCP_HEADER)
                headers = offset + (__u32)(dataOffset >> 4) * 4;
        } else if (transport == VELMORA_UDP) {
            headers = offset + VELMORA_UDP_HEADER;
        }
        if (headers != 0 && length > headers)
            wire = velmora_segments(length, headers, segmentPayload, allowance);
    }
    __builtin_memcpy(key.local, key.direction == VELMORA_SENT ? ip + 8 : ip + 24, 16);
    __builtin_memcpy(key.remote, key.direction == VELMORA_SENT ? ip + 24 : ip + 8, 16);
    key.localPort = key.direction == VELMORA_SENT ? sourcePort : destinationPort;
    key.remotePort = key.direction == VELMORA_SENT ? destinationPort : sourcePort;
    key.protocol = transport;
    key.family = 6;
    key.interfaceIndex = skb->ifindex;
    if (key.direction == VELMORA_SENT) {
        __u8 icmpType = 0xff;
        if (transport == VELMORA_ICMPV6 && available >= offset + 1)
            bpf_skb_load_bytes(skb, net + (offset & 0x7ff), &icmpType, 1);
        key.cgroup = sender_cgroup(skb, transport, icmpType);
    } else if (sourcePort != 0 || destinationPort != 0) {
        struct bpf_sock_tuple tuple = {};
        __builtin_memcpy(tuple.ipv6.saddr, ip + 8, 16);
        __builtin_memcpy(tuple.ipv6.daddr, ip + 24, 16);
        tuple.ipv6.sport = bpf_htons(sourcePort);
        tuple.ipv6.dport = bpf_htons(destinationPort);
        key.cgroup = receiver_cgroup(skb, &tuple, sizeof tuple.ipv6, transport);
    }
    add(&key, &wire);
}

static __always_inline int count_packet(struct __sk_buff* skb, int egress)
{
    __u32 index = skb->ifindex;
    const struct velmora_interface* interface = bpf_map_lookup_elem(&counted_interfaces, &index);
    /* A VLAN's parent sees its VLAN's packets with the tag in the metadata: the VLAN
     * interface counts them. */
    if (!interface || skb->vlan_present)
        return VELMORA_NEXT;
    const __u32 net = interface->linkHeader;
    if (skb->len <= net)
        return VELMORA_NEXT;
    const __u32 delivered = skb->len - net;
    const __u32 snap = VELMORA_SNAP_FROM_LINK - net;
    const __u32 available = delivered < snap ? delivered : snap;
    if (skb->protocol == bpf_htons(ETH_P_IP))
        count_ipv4(skb, interface, egress, net, delivered, available);
    else if (skb->protocol == bpf_htons(ETH_P_IPV6))
        count_ipv6(skb, interface, egress, net, delivered, available);
    return VELMORA_NEXT;
}

SEC("tc")
int velmora_ingress(struct __sk_buff* skb)
{
    return count_packet(skb, 0);
}

SEC("tc")
int velmora_egress(struct __sk_buff* skb)
{
    return count_packet(skb, 1);
}

char LICENSE[] SEC("license") = "Dual MIT/GPL";
