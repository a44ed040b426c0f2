#pragma once
/* What a packet adds to the totals, in C that both packet sources compile: the ring's decoding
 * in C++ (packet_decode.cpp, wire_packets.cpp) and the kernel's programs (bpf/flow_counter.bpf.c),
 * so the two count the same bytes, overhead and wire packets from the same headers. Integer
 * arithmetic only: the kernel's verifier and C++ both take it as it is. */

#ifdef __cplusplus
#include <cstdint>
typedef std::uint8_t velmora_u8;
typedef std::uint16_t velmora_u16;
typedef std::uint32_t velmora_u32;
typedef std::uint64_t velmora_u64;
#define VELMORA_INLINE inline
#else
typedef __u8 velmora_u8;
typedef __u16 velmora_u16;
typedef __u32 velmora_u32;
typedef __u64 velmora_u64;
#define VELMORA_INLINE static __always_inline
#endif

/* IPv4 packets shorter than this never count for any profile (20 bytes or less: no payload;
 * 21 to 28: not even a UDP header). */
#define VELMORA_IPV4_SHORTEST_COUNTED 29
/* The header allowance of an IPv4 packet: TCP's 40 bytes when it is longer, else UDP's 28. */
#define VELMORA_TCP_OVERHEAD 40
#define VELMORA_UDP_OVERHEAD 28
#define VELMORA_IPV4_HEADER 20
#define VELMORA_IPV6_HEADER 40
#define VELMORA_TCP_HEADER 20
#define VELMORA_UDP_HEADER 8
/* The largest IP length the 16-bit length fields hold: 0 there above it (BIG TCP). */
#define VELMORA_LARGEST_LENGTH_FIELD 0xffff
/* IPv6 extension headers walked at most before the transport header. */
#define VELMORA_IPV6_CHAIN_LIMIT 8
/* Bytes of each packet read from its link header on: both sources read no further, so an
 * IPv6 chain that ends beyond them gives neither source ports. */
#define VELMORA_SNAP_FROM_LINK 192

/* Protocol numbers (IANA). */
#define VELMORA_HOP_BY_HOP 0
#define VELMORA_TCP 6
#define VELMORA_UDP 17
#define VELMORA_ROUTING 43
#define VELMORA_FRAGMENT 44
#define VELMORA_ICMPV6 58
#define VELMORA_NO_NEXT_HEADER 59
#define VELMORA_DESTINATION_OPTIONS 60

VELMORA_INLINE velmora_u64 velmora_ipv4_overhead(velmora_u64 length)
{
    return length > VELMORA_TCP_OVERHEAD ? VELMORA_TCP_OVERHEAD : VELMORA_UDP_OVERHEAD;
}

/* Whether an IPv6 next-header value is an extension header walked towards the transport. */
VELMORA_INLINE int velmora_ipv6_walks(velmora_u8 next)
{
    return next == VELMORA_HOP_BY_HOP || next == VELMORA_ROUTING || next == VELMORA_FRAGMENT ||
           next == VELMORA_DESTINATION_OPTIONS;
}

/* The IPv6 header allowance: fixed and extension headers, and the transport header when the
 * walk reached it (TCP 20, UDP and ICMPv6 8). */
VELMORA_INLINE velmora_u64 velmora_ipv6_allowance(velmora_u64 headerBytes, int complete, velmora_u8 transport)
{
    if (!complete)
        return headerBytes;
    if (transport == VELMORA_TCP)
        return headerBytes + VELMORA_TCP_HEADER;
    if (transport == VELMORA_UDP || transport == VELMORA_ICMPV6)
        return headerBytes + VELMORA_UDP_HEADER;
    return headerBytes;
}

/* What the wire carried for one packet. */
struct velmora_wire {
    velmora_u64 packets;
    velmora_u64 bytes;    /* the wire packets' IP lengths */
    velmora_u64 overhead; /* their header allowances */
};

/* A super-packet of `length` IP bytes cut into segments of at most `segmentPayload` payload
 * bytes, each repeating the `headers` IP and transport bytes; `ipv6Allowance` is each IPv6
 * segment's allowance (0 for IPv4, where the allowance goes by each segment's length). The
 * caller made sure that length > headers > 0 and segmentPayload > 0. */
VELMORA_INLINE struct velmora_wire velmora_segments(velmora_u64 length, velmora_u64 headers,
                                                    velmora_u64 segmentPayload, velmora_u64 ipv6Allowance)
{
    struct velmora_wire wire;
    const velmora_u64 payload = length - headers;
    const velmora_u64 full = payload / segmentPayload;
    const velmora_u64 rest = payload % segmentPayload;
    wire.packets = full + (rest != 0 ? 1 : 0);
    wire.bytes = wire.packets * headers + payload;
    if (ipv6Allowance != 0)
        wire.overhead = wire.packets * ipv6Allowance;
    else
        wire.overhead = full * velmora_ipv4_overhead(headers + segmentPayload) +
                        (rest != 0 ? velmora_ipv4_overhead(headers + rest) : 0);
    return wire;
}

/* The kernel source's flow table: one entry per direction of a conversation of the machine. */
enum { VELMORA_RECEIVED = 0, VELMORA_SENT = 1 };

struct velmora_flow_key {
    velmora_u8 local[16];  /* the machine's end; IPv4 as ::ffff:a.b.c.d */
    velmora_u8 remote[16];
    velmora_u16 localPort; /* host order; TCP and UDP (IPv4: bytes 20-23 whatever the protocol) */
    velmora_u16 remotePort;
    velmora_u8 protocol;   /* IPv4 protocol, IPv6 transport header (59: none known) */
    velmora_u8 direction;  /* VELMORA_RECEIVED, VELMORA_SENT */
    velmora_u8 family;     /* 4 or 6; 0 in the overflow entries */
    velmora_u8 reserved;
    velmora_u32 interfaceIndex; /* where the packet was counted; 0 in the overflow entries */
    velmora_u32 unused;         /* zero: the key has no padding the hash could see */
    /* The cgroup (v2) of the packet's socket, its directory's inode number; 0 for traffic no
     * socket of the machine sent or receives (the kernel's own answers, a socket gone). */
    velmora_u64 cgroup;
};

struct velmora_flow_count {
    velmora_u64 bytes;
    velmora_u64 overhead;
    velmora_u64 packets;
};

/* An interface the programs count: its Ethernet address (none on tun or WireGuard), so that a
 * frame a macvlan sent through it is not counted twice. */
struct velmora_interface {
    velmora_u8 hardware[6];
    velmora_u8 hasHardware;
    velmora_u8 linkHeader; /* bytes before the IP header: 14 on Ethernet, 0 without a link header */
};

/* Flows a table holds; a full table adds to its direction's overflow entry. */
#define VELMORA_FLOW_TABLE_SIZE 8192
#define VELMORA_ADDRESS_TABLE_SIZE 1024
#define VELMORA_INTERFACE_TABLE_SIZE 4096
