// Nanoseconds per packet from the ring to the totals (packetFlow, then countFlow): (a) the
// Default profile alone, (b) ten profiles with ten IP and ten port entries each, (c) case (b)
// with two threads counting at once, and (a) and (b) over IPv6 (ten IPv6 prefix entries each).
// The `Engine` cases are (a), (b) and (c) as the engine counts the ring: the meter also keeps
// what each profile counted per program and interface (AttributedTotals, taken once a second as
// the engine's meter thread does), the day's hours are prepared before the first packet, and
// the records go through a FlowBatch handed over after each walk of the ring (here every
// kWalkPackets packets). `EngineFlow` counts each record alone with attribution, as the
// kernel source's records are counted.
#include "accounting/attributed_totals.h"
#include "accounting/flow_batch.h"
#include "accounting/traffic_meter.h"
#include "capture/packet_flow.h"
#include "profile/profile_store.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

enum ProfileCase { kSingle, kTen, kTenV6 };

// One list and meter per case and configuration, made once and kept: the benchmark's threads
// share them as capture threads share the engine's.
struct MeterSetup {
    SharedProfiles shared;
    AttributedTotals attributed;
    CTrafficMeter meter;

    MeterSetup(ProfileList list, bool asTheEngine) : meter({}, &shared)
    {
        shared.profiles = std::move(list);
        if (!asTheEngine)
            return;
        // As CMonitorEngine::start leaves them: the year prepared at start, today's hours given
        // by the first flow (here before the first timed one), the totals kept per program.
        const LocalHour now = DayClock::system().hourNow();
        shared.prepareYear(now.date.year);
        shared.prepareHours(now);
        meter.setAttributedTotals(&attributed);
    }
};

MeterSetup& setupFor(ProfileCase profileCase, bool asTheEngine)
{
    static std::unique_ptr<MeterSetup> setups[3][2];
    static std::once_flag made[3][2];
    std::call_once(made[profileCase][asTheEngine], [&] {
        setups[profileCase][asTheEngine] = std::make_unique<MeterSetup>(
            profileCase == kSingle ? ProfileList{defaultProfile()} : tenFilteredProfiles(profileCase == kTenV6),
            asTheEngine);
    });
    return *setups[profileCase][asTheEngine];
}

// The engine's meter thread takes the attributed totals once a second (UsageAttribution::collect)
// while capture threads count.
class AttributionTaker {
public:
    explicit AttributionTaker(AttributedTotals& totals)
        : thread([this, &totals] {
              while (!stopped.load()) {
                  totals.take();
                  for (int i = 0; i < 100 && !stopped.load(); ++i)
                      std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          })
    {
    }
    ~AttributionTaker()
    {
        stopped = true;
        thread.join();
    }

private:
    std::atomic<bool> stopped{false};
    std::thread thread;
};

// Packets of one walk of the ring: a 40 KiB block holds 25 of these 1500-byte packets, and a
// walk takes at least the one block the kernel handed over.
constexpr int kWalkPackets = 25;

void runDispatch(benchmark::State& state, ProfileCase profileCase, bool ipv6 = false, bool asTheEngine = false,
                 bool inBatches = false)
{
    MeterSetup& setup = setupFor(profileCase, asTheEngine);
    std::unique_ptr<AttributionTaker> taker;
    if (asTheEngine && state.thread_index() == 0)
        taker = std::make_unique<AttributionTaker>(setup.attributed);
    const auto down = ipv6 ? packet6(false) : packet(0xc6336401, 0xc6336402); // 198.51.100.1 -> .2
    const auto up = ipv6 ? packet6(true) : packet(0xc6336402, 0xc6336401);
    FlowBatch batch(setup.meter);
    int walked = 0;
    bool flip = false;
    for (auto _ : state) {
        const auto& bytes = flip ? up : down;
        FlowKey key;
        FlowCount count;
        if (packetFlow(CapturedPacket{bytes.data(), 1500, bytes.size(), {}, flip ? PacketWay::Sent : PacketWay::Received,
                                      2},
                       key, count)) {
            if (!inBatches) {
                setup.meter.countFlow(key, count);
            } else {
                batch.add(key, count);
                if (++walked == kWalkPackets) {
                    batch.handOver();
                    walked = 0;
                }
            }
        }
        flip = !flip;
    }
    batch.handOver();
    state.SetItemsProcessed(state.iterations());
}

void BM_DefaultProfileOnly(benchmark::State& state) { runDispatch(state, kSingle); }
void BM_TenFilteredProfiles(benchmark::State& state) { runDispatch(state, kTen); }
void BM_Ipv6DefaultProfileOnly(benchmark::State& state) { runDispatch(state, kSingle, true); }
void BM_Ipv6TenFilteredProfiles(benchmark::State& state) { runDispatch(state, kTenV6, true); }
void BM_EngineDefaultProfileOnly(benchmark::State& state) { runDispatch(state, kSingle, false, true, true); }
void BM_EngineTenFilteredProfiles(benchmark::State& state) { runDispatch(state, kTen, false, true, true); }
void BM_EngineFlowDefaultProfileOnly(benchmark::State& state) { runDispatch(state, kSingle, false, true); }
void BM_EngineFlowTenFilteredProfiles(benchmark::State& state) { runDispatch(state, kTen, false, true); }

} // namespace

BENCHMARK(BM_DefaultProfileOnly);
BENCHMARK(BM_TenFilteredProfiles);
BENCHMARK(BM_TenFilteredProfiles)->Threads(2)->UseRealTime();
BENCHMARK(BM_Ipv6DefaultProfileOnly);
BENCHMARK(BM_Ipv6TenFilteredProfiles);
BENCHMARK(BM_EngineDefaultProfileOnly);
BENCHMARK(BM_EngineTenFilteredProfiles);
BENCHMARK(BM_EngineTenFilteredProfiles)->Threads(2)->UseRealTime();
BENCHMARK(BM_EngineFlowDefaultProfileOnly);
BENCHMARK(BM_EngineFlowTenFilteredProfiles);
BENCHMARK(BM_EngineFlowTenFilteredProfiles)->Threads(2)->UseRealTime();

BENCHMARK_MAIN();
