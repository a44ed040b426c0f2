#pragma once
// One packet of the machine's own traffic as the capture hands it to the accounting.

#include "capture/own_traffic.h"
#include "capture/wire_packets.h"

#include <cstddef>
#include <cstdint>

struct CapturedPacket {
    const std::uint8_t* data = nullptr; // from the IP header on
    // Bytes from the IP header to the frame's end as the socket delivered them: the real
    // length (offloaded packets of up to 64 KB included), and any link-layer padding.
    std::int32_t delivered = 0;
    std::size_t captured = 0; // bytes at `data`: fewer than delivered past the snap length
    OffloadHeader offload;    // how the kernel's offloads cut it on the wire
    PacketWay way = PacketWay::Received;
    int interfaceIndex = 0;
};
