// Arbitrary bytes and lengths through the per-packet accounting, over a few filtered profiles.
// Input: two bytes choose the claimed datagram length (-1 to 70000), the third the selected
// profile and the offload header's type (the first two give its segment size), the rest is
// the packet.
#include "accounting/traffic_meter.h"
#include "capture/packet_decode.h"
#include "capture/packet_flow.h"
#include "profile/profile_store.h"

#include <cstddef>
#include <cstdint>

namespace {

SharedProfiles& profiles()
{
    static SharedProfiles shared{{}, [] {
        CProfile all = makeDefaultProfile("198.51.100.2");
        CProfile web = all;
        web.setName("web");
        web.ipFilter.clear();
        web.addIpFilter("192.0.2.*", true);
        web.addIpFilter("*.*.*.*", false);
        web.portFilter.clear();
        web.addPortFilter(true, 443);
        web.addPortFilter(false, 0);
        CProfile v6 = all;
        v6.setName("v6");
        v6.setIp("2001:db8::1");
        v6.ipFilter.clear();
        v6.addIpFilter("fe80::/10", false);
        v6.addIpFilter("2001:db8::/32", true);
        CProfile noLan = all;
        noLan.setName("no lan");
        noLan.setIp("198.51.100.002");
        noLan.addIpFilter("198.51.*.*", false);
        return ProfileList{all, web, noLan, v6};
    }(), {}};
    return shared;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CTrafficMeter meter({}, &profiles());
    if (size < 3)
        return 0;
    const std::int32_t length = std::int32_t(std::int64_t(data[0] << 8 | data[1]) * 70002 / 65536) - 1;
    meter.selectedProfile = data[2] % 5; // also beyond the end of the list
    const OffloadHeader offload{static_cast<Segmentation>(data[2] % 4), std::uint16_t(data[1] << 8 | data[0])};
    const PacketWay way = data[2] & 0x80 ? PacketWay::Sent : PacketWay::Received;
    FlowKey key;
    FlowCount count;
    if (packetFlow(CapturedPacket{size > 3 ? data + 3 : nullptr, length, size - 3, offload, way}, key, count))
        meter.countFlow(key, count);
    PacketSummary summary;
    summarisePacket(data + 3, length, size - 3, summary);
    if (length >= 0)
        countWirePackets(data + 3, std::uint32_t(length), size - 3, offload);
    if (meter.downloadBytes.load() > (std::uint64_t(1) << 40))
        meter.tick();
    return 0;
}
