// Nanoseconds per packet from the ring to the totals (packetFlow, then countFlow): (a) the
// Default profile alone, (b) ten profiles with ten IP and ten port entries each, (c) case (b)
// with two threads counting at once, and (a) and (b) over IPv6 (ten IPv6 prefix entries each).
#include "accounting/traffic_meter.h"
#include "capture/packet_flow.h"
#include "profile/profile_store.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> packet(std::uint32_t source, std::uint32_t destination)
{
    std::vector<std::uint8_t> bytes(1500, 0);
    bytes[0] = 0x45;                   // IPv4, 20-byte header
    bytes[2] = 0x05, bytes[3] = 0xdc; // total length 1500
    for (int i = 0; i < 4; ++i) {
        bytes[12 + i] = std::uint8_t(source >> (24 - 8 * i));
        bytes[16 + i] = std::uint8_t(destination >> (24 - 8 * i));
    }
    bytes[20] = 0x01, bytes[21] = 0xbb; // 443
    bytes[22] = 0xc3, bytes[23] = 0x50; // 50000
    return bytes;
}

// A 1500-byte IPv6 TCP packet between 2001:db8::1 and 2001:db8::2 (`fromFirst`: ::1 -> ::2).
std::vector<std::uint8_t> packet6(bool fromFirst)
{
    std::vector<std::uint8_t> bytes(1500, 0);
    bytes[0] = 0x60;
    bytes[4] = 0x05, bytes[5] = 0xb4; // payload length 1460
    bytes[6] = 6;                     // TCP
    for (int at : {8, 24})
        bytes[std::size_t(at)] = 0x20, bytes[std::size_t(at) + 1] = 0x01, bytes[std::size_t(at) + 2] = 0x0d,
                             bytes[std::size_t(at) + 3] = 0xb8;
    bytes[23] = fromFirst ? 1 : 2;
    bytes[39] = fromFirst ? 2 : 1;
    bytes[40] = 0x01, bytes[41] = 0xbb; // 443
    bytes[42] = 0xc3, bytes[43] = 0x50; // 50000
    bytes[52] = 5 << 4;
    return bytes;
}

CProfile defaultProfile()
{
    return makeDefaultProfile("198.51.100.2");
}

// Ten profiles, each with ten IP entries of the packets' family that do not cover the peer
// (so every entry is visited) before a final allow-all, and ten port entries likewise.
ProfileList tenFilteredProfiles(bool ipv6)
{
    ProfileList list;
    for (int p = 0; p < 10; ++p) {
        CProfile profile = defaultProfile();
        profile.setName("profile" + std::to_string(p));
        if (ipv6)
            profile.setIp("2001:db8::1"); // the packets' address at this end
        profile.ipFilter.clear();
        profile.portFilter.clear();
        for (int e = 0; e < 9; ++e)
            profile.addIpFilter(ipv6 ? "2001:db8:" + std::to_string(p + 1) + ":" + std::to_string(e) + "::/64"
                                     : "10." + std::to_string(p) + "." + std::to_string(e) + ".*",
                                false);
        profile.addIpFilter("*.*.*.*", true);
        for (int e = 1; e < 10; ++e)
            profile.addPortFilter(false, 1000 + e);
        profile.addPortFilter(true, 0);
        list.push_back(profile);
    }
    return list;
}

SharedProfiles& sharedFor(int profileCase)
{
    static SharedProfiles single{{}, {defaultProfile()}, {}};
    static SharedProfiles ten{{}, tenFilteredProfiles(false), {}};
    static SharedProfiles tenV6{{}, tenFilteredProfiles(true), {}};
    return profileCase == 0 ? single : profileCase == 1 ? ten : tenV6;
}

void runDispatch(benchmark::State& state, int profileCase, bool ipv6 = false)
{
    static CTrafficMeter single({}, &sharedFor(0));
    static CTrafficMeter ten({}, &sharedFor(1));
    static CTrafficMeter tenV6({}, &sharedFor(2));
    CTrafficMeter& meter = profileCase == 0 ? single : profileCase == 1 ? ten : tenV6;
    const auto down = ipv6 ? packet6(false) : packet(0xc6336401, 0xc6336402); // 198.51.100.1 -> .2
    const auto up = ipv6 ? packet6(true) : packet(0xc6336402, 0xc6336401);
    bool flip = false;
    for (auto _ : state) {
        const auto& bytes = flip ? up : down;
        FlowKey key;
        FlowCount count;
        if (packetFlow(CapturedPacket{bytes.data(), 1500, bytes.size(), {}, flip ? PacketWay::Sent : PacketWay::Received},
                       key, count))
            meter.countFlow(key, count);
        flip = !flip;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DefaultProfileOnly(benchmark::State& state) { runDispatch(state, 0); }
void BM_TenFilteredProfiles(benchmark::State& state) { runDispatch(state, 1); }
void BM_Ipv6DefaultProfileOnly(benchmark::State& state) { runDispatch(state, 0, true); }
void BM_Ipv6TenFilteredProfiles(benchmark::State& state) { runDispatch(state, 2, true); }

} // namespace

BENCHMARK(BM_DefaultProfileOnly);
BENCHMARK(BM_TenFilteredProfiles);
BENCHMARK(BM_TenFilteredProfiles)->Threads(2)->UseRealTime();
BENCHMARK(BM_Ipv6DefaultProfileOnly);
BENCHMARK(BM_Ipv6TenFilteredProfiles);

BENCHMARK_MAIN();
