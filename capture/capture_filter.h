#pragma once
// The socket filter of the capture (classic BPF, kernel Documentation/networking/filter.rst),
// run by the kernel before a packet takes room in the ring. It keeps IPv4 and IPv6 only, drops frames
// addressed to other hosts (PACKET_OTHERHOST: the interface may be promiscuous because of
// another program; they are not this machine's traffic) and the copies a VLAN's parent sees,
// keeps only packets of the counted interfaces, and of those the first `snapLength` bytes.

#include <linux/filter.h>

#include <cstdint>
#include <vector>

// Interfaces the filter can name; with more, it keeps every interface's packets and the
// capture leaves out the others itself.
constexpr std::size_t kFilterInterfaceLimit = 2000;

// `interfaces`: the counted interface indexes; none means no packet is kept.
std::vector<sock_filter> captureFilter(const std::vector<int>& interfaces, std::uint32_t snapLength);
// The same without the interface test: every interface's packets are kept.
std::vector<sock_filter> everyInterfaceFilter(std::uint32_t snapLength);
