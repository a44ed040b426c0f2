// Nanoseconds per dispatchPacket: (a) the Default profile alone, (b) ten profiles with ten IP
// and ten port entries each, (c) case (b) with two threads dispatching at once.
#include "capture/traffic_meter.h"
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

CProfile defaultProfile()
{
    return makeDefaultProfile("198.51.100.2");
}

// Ten profiles, each with ten IP entries that do not cover the peer (so every entry is
// visited) before a final allow-all, and ten port entries likewise.
ProfileList tenFilteredProfiles()
{
    ProfileList list;
    for (int p = 0; p < 10; ++p) {
        CProfile profile = defaultProfile();
        profile.setName("profile" + std::to_string(p));
        profile.ipFilter.clear();
        profile.portFilter.clear();
        for (int e = 0; e < 9; ++e)
            profile.addIpFilter("10." + std::to_string(p) + "." + std::to_string(e) + ".*", false);
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
    static SharedProfiles ten{{}, tenFilteredProfiles(), {}};
    return profileCase == 0 ? single : ten;
}

void runDispatch(benchmark::State& state, int profileCase)
{
    static CTrafficMeter single({}, &sharedFor(0));
    static CTrafficMeter ten({}, &sharedFor(1));
    CTrafficMeter& meter = profileCase == 0 ? single : ten;
    const auto down = packet(0xc6336401, 0xc6336402); // 198.51.100.1 -> .2
    const auto up = packet(0xc6336402, 0xc6336401);
    bool flip = false;
    for (auto _ : state) {
        const auto& bytes = flip ? up : down;
        meter.dispatchPacket(CapturedPacket{bytes.data(), 1500, bytes.size(), {}, flip ? PacketWay::Sent : PacketWay::Received});
        flip = !flip;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DefaultProfileOnly(benchmark::State& state) { runDispatch(state, 0); }
void BM_TenFilteredProfiles(benchmark::State& state) { runDispatch(state, 1); }

} // namespace

BENCHMARK(BM_DefaultProfileOnly);
BENCHMARK(BM_TenFilteredProfiles);
BENCHMARK(BM_TenFilteredProfiles)->Threads(2)->UseRealTime();

BENCHMARK_MAIN();
