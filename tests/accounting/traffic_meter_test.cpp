#include "accounting/flow_batch.h"
#include "accounting/traffic_meter.h"
#include "profile/profile_store.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr std::uint32_t kLocal = ipv4(198, 51, 100, 2);
constexpr std::uint32_t kPeer = ipv4(198, 51, 100, 1);

const std::string kLocalText = "198.51.100.2";

class MeterTest : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC0", 1);
        tzset();
        meter.setClock(&clock);
    }
    // A packet of `length` IP bytes in a frame that delivered `delivered` (padding after it);
    // sent when it comes from the local address, else received.
    void send(std::uint32_t from, std::uint32_t to, std::uint16_t fromPort, std::uint16_t toPort, int length,
              int delivered = -1)
    {
        auto packet = makePacket(from, to, fromPort, toPort, std::size_t(std::max(length, 0)));
        packet.resize(std::max(packet.size(), std::size_t(std::max(delivered, 0))));
        countPacket(meter, capturedPacket(packet, delivered < 0 ? length : delivered,
                                            from == kLocal ? PacketWay::Sent : PacketWay::Received));
    }

    std::time_t now = 1767225599; // 2025-12-31 23:59:59 UTC
    DayClock clock{[this] { return now; }};
    SharedProfiles shared;
    CTrafficMeter meter{{}, &shared};
};

TEST_F(MeterTest, LengthsDecideCountingAndOverhead)
{
    shared.profiles = {makeDefaultProfile(kLocalText)};
    struct Case {
        int length;    // the IP header's total length (0 above 64 KiB)
        int delivered; // what the frame held from the IP header on; -1: the length
        bool download;
        std::uint64_t bytes, overhead;
    };
    const std::vector<Case> cases = {
        {-1, -1, true, 0, 0},  {0, -1, true, 0, 0},   {20, -1, true, 0, 0},  {21, -1, true, 0, 0},
        {28, -1, false, 0, 0}, {29, -1, true, 29, 28}, {40, -1, false, 40, 28}, {41, -1, true, 41, 40},
        {1500, -1, false, 1500, 40}, {65535, -1, true, 65535, 40},
        // Short packets in Ethernet frames padded to 60 bytes (46 from the IP header on): a TCP
        // acknowledgement counts its 40 bytes, a 28-byte datagram nothing.
        {40, 46, true, 40, 28}, {28, 46, true, 0, 0},
        // A total length beyond the frame (a truncated or lying header) counts the frame.
        {9000, 1500, true, 1500, 40},
        // Above 64 KiB (BIG TCP) the total length is 0 and the frame gives the length.
        {70000, -1, false, 70000, 40},
    };
    for (const Case& c : cases) {
        meter.tick();
        c.download ? send(kPeer, kLocal, 80, 5000, c.length, c.delivered)
                   : send(kLocal, kPeer, 5000, 80, c.length, c.delivered);
        auto& bytes = c.download ? meter.downloadBytes : meter.uploadBytes;
        auto& overhead = c.download ? meter.downloadOverhead : meter.uploadOverhead;
        EXPECT_EQ(bytes.load(), c.bytes) << c.length;
        EXPECT_EQ(overhead.load(), c.overhead) << c.length;
        EXPECT_EQ((c.download ? meter.uploadBytes : meter.downloadBytes).load(), 0u) << c.length;
    }
    EXPECT_EQ(historyTotals(shared.profiles[0]).down, 29 + 41 + 65535 + 40 + 1500);
    EXPECT_EQ(historyTotals(shared.profiles[0]).up, 40 + 1500 + 70000);
}

// An offloaded super-packet as the socket delivers it: IPv4 and TCP (or UDP) headers of 20
// bytes each (8 for UDP), the total length field filled in.
std::vector<std::uint8_t> superPacket(std::uint32_t from, std::uint32_t to, std::uint16_t fromPort, std::uint16_t toPort,
                                      std::uint8_t protocol, std::size_t length)
{
    std::vector<std::uint8_t> bytes = makePacket(from, to, fromPort, toPort, length);
    bytes[2] = std::uint8_t(length >> 8);
    bytes[3] = std::uint8_t(length);
    bytes[9] = protocol;
    bytes[32] = 5 << 4; // TCP data offset: 20 bytes
    return bytes;
}

TEST_F(MeterTest, SuperPacketsCountTheirWirePacketsForEveryProfileThatTakesThem)
{
    CProfile noWeb = makeDefaultProfile(kLocalText);
    noWeb.portFilter.clear();
    noWeb.addPortFilter(true, 0);
    noWeb.addPortFilter(false, 80);
    shared.profiles = {makeDefaultProfile(kLocalText), noWeb};
    struct Case {
        std::uint16_t remotePort;
        std::uint8_t protocol;
        std::size_t length;
        OffloadHeader offload;
        double bytes;           // into both directions' totals of the allow-all profile
        std::uint64_t overhead; // its live counters
        double bytesWithoutWeb; // the profile that denies remote port 80
    };
    const Case cases[] = {
        // 3000 payload bytes in 1448-byte segments: 3 wire packets of 40 header bytes each.
        {443, 6, 3040, {Segmentation::Tcpv4, 1448}, 3120, 120, 3120},
        {80, 6, 3040, {Segmentation::Tcpv4, 1448}, 3120, 120, 0},
        // 2010 payload bytes in 1000-byte datagrams: the last wire packet is 38 bytes long.
        {443, 17, 2038, {Segmentation::UdpL4, 1000}, 2094, 40 + 40 + 28, 2094},
        // The offload header disagrees with the packet: counted as delivered.
        {443, 17, 3040, {Segmentation::Tcpv4, 1448}, 3040, 40, 3040},
        {443, 6, 3040, {Segmentation::None, 1448}, 3040, 40, 3040},
    };
    for (const Case& c : cases) {
        const DayTotals before = historyTotals(shared.profiles[0]);
        const DayTotals beforeWithoutWeb = historyTotals(shared.profiles[1]);
        meter.tick();
        const auto down = superPacket(kPeer, kLocal, c.remotePort, 5000, c.protocol, c.length);
        const auto up = superPacket(kLocal, kPeer, 5000, c.remotePort, c.protocol, c.length);
        countPacket(meter, capturedPacket(down, std::int32_t(c.length), PacketWay::Received, c.offload));
        countPacket(meter, capturedPacket(up, std::int32_t(c.length), PacketWay::Sent, c.offload));
        EXPECT_EQ(historyTotals(shared.profiles[0]).down - before.down, c.bytes) << c.length;
        EXPECT_EQ(historyTotals(shared.profiles[0]).up - before.up, c.bytes) << c.length;
        EXPECT_EQ(historyTotals(shared.profiles[1]).down - beforeWithoutWeb.down, c.bytesWithoutWeb) << c.length;
        EXPECT_EQ(historyTotals(shared.profiles[1]).up - beforeWithoutWeb.up, c.bytesWithoutWeb) << c.length;
        EXPECT_EQ(meter.downloadBytes.load(), std::uint64_t(c.bytes)) << c.length;
        EXPECT_EQ(meter.uploadOverhead.load(), c.overhead) << c.length;
    }
}

TEST_F(MeterTest, FiltersSeeTheRemoteSideOfEachDirection)
{
    CProfile web = makeDefaultProfile(kLocalText);
    web.portFilter.clear();
    web.addPortFilter(true, 0);
    web.addPortFilter(false, 80);
    CProfile noLan = makeDefaultProfile(kLocalText);
    noLan.addIpFilter("198.51.*.*", false);
    shared.profiles = {web, noLan};

    send(kPeer, kLocal, 80, 443, 100);             // download from remote port 80: denied by port
    send(kPeer, kLocal, 443, 80, 100);             // download from remote port 443: counted
    send(kLocal, kPeer, 443, 80, 200);             // upload to remote port 80: denied
    send(kLocal, ipv4(192, 0, 2, 9), 80, 443, 300); // upload to a host outside 198.51
    EXPECT_EQ(historyTotals(shared.profiles[0]).down, 100);
    EXPECT_EQ(historyTotals(shared.profiles[0]).up, 300);
    EXPECT_EQ(historyTotals(shared.profiles[1]).down, 0);
    EXPECT_EQ(historyTotals(shared.profiles[1]).up, 300);
}

// The way the packet went decides the direction; Default takes every packet of the machine,
// a bound profile those with its address at the machine's end.
TEST_F(MeterTest, DirectionIsTheWayThePacketWent)
{
    const std::uint32_t second = ipv4(203, 0, 113, 5); // a second address of the machine
    const auto bound = [](const std::string& name, const std::string& ip) {
        CProfile profile = makeDefaultProfile(ip);
        profile.setName(name);
        return profile;
    };
    shared.profiles = {makeDefaultProfile("192.0.2.77"), // an address the machine no longer holds
                       bound("Local", kLocalText), bound("Second", "203.0.113.5"),
                       bound("Zeros", "198.051.100.002")}; // not inet_ntoa text: never matches
    struct Case {
        std::uint32_t from, to;
        PacketWay way;
        int bytes;
    };
    const Case cases[] = {
        {kPeer, kLocal, PacketWay::Received, 100},
        {kLocal, kPeer, PacketWay::Sent, 200},
        {kPeer, second, PacketWay::Received, 400},
        {second, kPeer, PacketWay::Sent, 800},
        {kPeer, ipv4(198, 51, 100, 127), PacketWay::Received, 1600}, // a broadcast
    };
    for (const Case& c : cases) {
        const auto packet = makePacket(c.from, c.to, 1, 2, std::size_t(c.bytes));
        countPacket(meter, capturedPacket(packet, c.bytes, c.way));
    }
    const DayTotals expected[] = {{100 + 400 + 1600, 200 + 800}, {100, 200}, {400, 800}, {0, 0}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(historyTotals(shared.profiles[i]).down, expected[i].down) << shared.profiles[i].name;
        EXPECT_EQ(historyTotals(shared.profiles[i]).up, expected[i].up) << shared.profiles[i].name;
    }
}

TEST_F(MeterTest, EmptyFiltersCountNothing)
{
    CProfile noPorts = makeDefaultProfile(kLocalText);
    noPorts.portFilter.clear();
    CProfile noAddresses = makeDefaultProfile(kLocalText);
    noAddresses.ipFilter.clear();
    shared.profiles = {noPorts, noAddresses};
    send(kPeer, kLocal, 1, 2, 100);
    EXPECT_TRUE(shared.snapshot()[0].history.empty());
    EXPECT_TRUE(shared.snapshot()[1].history.empty());
    EXPECT_EQ(meter.downloadBytes.load(), 0u);
}

TEST_F(MeterTest, OnlyTheSelectedProfileMovesTheCounters)
{
    CProfile strict = makeDefaultProfile(kLocalText);
    strict.ipFilter.clear();
    strict.addIpFilter("192.0.2.*", true);
    shared.profiles = {makeDefaultProfile(kLocalText), strict};
    meter.selectedProfile = 1;
    send(kPeer, kLocal, 1, 2, 100);                 // counts for 0 only
    EXPECT_EQ(meter.downloadBytes.load(), 0u);
    send(ipv4(192, 0, 2, 7), kLocal, 1, 2, 50);     // counts for both
    EXPECT_EQ(meter.downloadBytes.load(), 50u);
    EXPECT_EQ(meter.downloadOverhead.load(), 40u);

    for (std::uint32_t beyond : {2u, 3u, 0xffffffffu}) {
        meter.selectedProfile = beyond;
        send(kPeer, kLocal, 1, 2, 100);
    }
    EXPECT_EQ(meter.downloadBytes.load(), 50u);
    EXPECT_EQ(historyTotals(shared.profiles[0]).down, 450);
}

TEST_F(MeterTest, NewYearAppendsAYearRecordAtTheEnd)
{
    CProfile profile = makeDefaultProfile(kLocalText);
    profile.yearRecord(2030);
    profile.yearRecord(2025);
    shared.profiles = {profile};
    send(kPeer, kLocal, 1, 2, 100); // 2025-12-31 23:59:59
    now += 1;                       // 2026-01-01 00:00:00
    send(kPeer, kLocal, 1, 2, 200);
    const auto& history = shared.profiles[0].history;
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[1].year, 2025);
    EXPECT_EQ(history[1].days[371].down, 100);
    EXPECT_EQ(history[2].year, 2026);
    EXPECT_EQ(history[2].days[0].down, 200);
}

TEST_F(MeterTest, MalformedInputIsIgnored)
{
    shared.profiles = {makeDefaultProfile(kLocalText)};
    auto packet = makePacket(kPeer, kLocal, 1, 2, 24);
    packet[2] = 1500 >> 8; // the head of a 1500-byte datagram
    packet[3] = 1500 & 0xff;
    const auto received = [&](const std::uint8_t* data, std::size_t captured) {
        return CapturedPacket{data, 1500, captured, {}, PacketWay::Received};
    };
    countPacket(meter, received(packet.data(), 23)); // ports not captured
    countPacket(meter, received(nullptr, 0));
    packet[0] = 0x65; // not IPv4
    countPacket(meter, received(packet.data(), 24));
    packet[0] = 0x45;
    countPacket(meter, received(packet.data(), 24)); // captured head of a large datagram
    EXPECT_EQ(meter.downloadBytes.load(), 1500u);
    EXPECT_EQ(meter.downloadOverhead.load(), 40u) << "the TCP view follows the length, not the bytes at hand";
    CTrafficMeter detached;
    countPacket(detached, received(packet.data(), 24)); // no profile list at all
}

// A batch counts as its records would one after the other: the same days, hours, program
// entries and live counters, for records of both ways, of several programs and interfaces,
// one without its ends, and a profile put in the list without its records (given them before
// anything of the batch counts, so nothing counts twice).
TEST(MeterBatch, CountsAsItsRecordsOneByOne)
{
    setenv("TZ", "UTC0", 1);
    tzset();
    const DayClock clock([] { return std::time_t(1767200000); }); // 2025-12-31 16:53 UTC
    const auto record = [](std::uint32_t remote, std::uint16_t remotePort, PacketWay way, std::uint64_t cgroup,
                           int interfaceIndex, std::uint64_t bytes) {
        FlowRecord flow{{IpAddress::fromV4(kLocal), IpAddress::fromV4(remote), 40000, remotePort, 6, way, 4,
                         interfaceIndex, cgroup},
                        {bytes, 40, 1}};
        return flow;
    };
    std::vector<FlowRecord> records;
    for (int i = 0; i < 300; ++i) // more than FlowBatch keeps: handed over in two parts
        records.push_back(record(kPeer, i % 3 == 0 ? 443 : 80, i % 2 ? PacketWay::Sent : PacketWay::Received,
                                 std::uint64_t(i % 4), 2 + i % 2, 1000 + std::uint64_t(i)));
    records.push_back(record(kPeer, 443, PacketWay::Received, 0, 0, 77));
    records.back().key.family = 0; // no ends: the Default profile's only

    struct Counted {
        std::vector<DayTotals> days, hours;
        std::map<std::tuple<std::string, std::uint64_t, int>, std::pair<std::uint64_t, std::uint64_t>> entries;
        std::uint64_t live[4];
        std::map<std::pair<std::string, std::uint64_t>, std::pair<std::uint64_t, std::uint64_t>> rates;
    };
    const auto countWith = [&](bool inBatches) {
        CProfile web = makeDefaultProfile(kLocalText);
        web.setName("Web");
        web.portFilter.clear();
        web.addPortFilter(true, 443);
        SharedProfiles shared;
        shared.addProfile(makeDefaultProfile(kLocalText));
        shared.addProfile(web);
        CTrafficMeter meter{{}, &shared};
        AttributedTotals attributed;
        meter.setClock(&clock);
        meter.setAttributedTotals(&attributed);
        meter.selectedProfile = 1;
        meter.countFlow(records[0].key, records[0].count); // the year and day prepared
        CProfile late = web;
        late.setName("Late");
        late.history.clear();
        late.pendingHours.clear();
        shared.profiles.push_back(late); // without its records
        if (inBatches) {
            FlowBatch batch(meter);
            for (std::size_t i = 1; i < records.size(); ++i)
                batch.add(records[i].key, records[i].count);
        } else {
            for (std::size_t i = 1; i < records.size(); ++i)
                meter.countFlow(records[i].key, records[i].count);
        }
        Counted counted{{}, {}, {}, {meter.downloadBytes, meter.uploadBytes, meter.downloadOverhead, meter.uploadOverhead}, {}};
        for (const CProfile& profile : shared.profiles) {
            counted.days.push_back(historyTotals(profile));
            DayTotals hours;
            for (const PendingHours& day : profile.pendingHours)
                for (const DayTotals& hour : day.hours) {
                    hours.down += hour.down;
                    hours.up += hour.up;
                }
            counted.hours.push_back(hours);
        }
        for (const AttributedBytes& entry : attributed.take()) {
            auto& sum = counted.entries[{entry.profile, entry.cgroup, entry.interfaceIndex}];
            sum.first += entry.down;
            sum.second += entry.up;
        }
        meter.tick(); // the programs' period ends
        for (const CProfile& profile : shared.profiles)
            for (const CgroupRate& rate : meter.recentRates().of(profile.name))
                counted.rates[{profile.name, rate.cgroup}] = {rate.currentDown, rate.currentUp};
        return counted;
    };
    const Counted alone = countWith(false);
    const Counted batched = countWith(true);
    ASSERT_EQ(batched.days.size(), 3u);
    for (std::size_t profile = 0; profile < 3; ++profile) {
        EXPECT_EQ(batched.days[profile].down, alone.days[profile].down) << profile;
        EXPECT_EQ(batched.days[profile].up, alone.days[profile].up) << profile;
        EXPECT_EQ(batched.hours[profile].down, batched.days[profile].down) << profile;
        EXPECT_EQ(batched.hours[profile].up, batched.days[profile].up) << profile;
        EXPECT_GT(batched.days[profile].down, 0) << profile;
    }
    EXPECT_EQ(batched.entries, alone.entries);
    EXPECT_EQ(batched.rates, alone.rates);
    EXPECT_EQ(batched.rates.size(), 12u);
    EXPECT_EQ(batched.entries.size(), 13u) << "Default: 4 programs and the record without ends; Web and Late: 4";
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(batched.live[i], alone.live[i]) << i;
}

TEST(MeterTick, AveragesOfConstantTrafficSettleInFiveTicks)
{
    std::vector<std::tuple<ReadoutKind, float, float>> calls;
    CTrafficMeter meter([&](ReadoutKind k, float d, float u) { calls.emplace_back(k, d, u); });
    const float x = 3000;
    const float expected[] = {x / 3, 0.6f * x, 0.8f * x, 14 * x / 15, x, x};
    for (float want : expected) {
        calls.clear();
        meter.downloadBytes = std::uint64_t(x);
        meter.uploadOverhead = 60;
        meter.tick();
        ASSERT_EQ(calls.size(), 4u);
        EXPECT_EQ(std::get<0>(calls[0]), ReadoutKind::Current);
        EXPECT_EQ(std::get<0>(calls[1]), ReadoutKind::CurrentOverhead);
        EXPECT_EQ(std::get<0>(calls[2]), ReadoutKind::Average);
        EXPECT_EQ(std::get<0>(calls[3]), ReadoutKind::AverageOverhead);
        EXPECT_EQ(std::get<1>(calls[0]), x);
        EXPECT_EQ(std::get<2>(calls[1]), 60);
        EXPECT_NEAR(std::get<1>(calls[2]), want, want * 1e-6);
        EXPECT_NEAR(std::get<2>(calls[3]), want / x * 60, 1e-3);
    }
    EXPECT_EQ(meter.downloadBytes.load(), 0u); // cleared by the tick
}

TEST(MeterTick, CountersAreExactBeyondFloatPrecision)
{
    float seen = 0;
    CTrafficMeter meter([&](ReadoutKind k, float d, float) {
        if (k == ReadoutKind::Current)
            seen = d;
    });
    for (int i = 0; i < 1000; ++i)
        meter.downloadBytes.fetch_add(1);
    meter.downloadBytes.fetch_add(std::uint64_t(1) << 30);
    for (int i = 0; i < 1000; ++i)
        meter.downloadBytes.fetch_add(1);
    meter.tick();
    EXPECT_EQ(seen, float((std::uint64_t(1) << 30) + 2000));
}

TEST(MeterLoop, StopsAtOnceAndTicksWhileRunning)
{
    std::atomic<int> ticks{0};
    CTrafficMeter meter([&](ReadoutKind k, float, float) {
        if (k == ReadoutKind::Current)
            ++ticks;
    });
    meter.setPeriod(std::chrono::milliseconds(5));
    ASSERT_TRUE(meter.start("test-meter"));
    while (ticks.load() < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    meter.stopAndWait();
    EXPECT_FALSE(meter.hasThread());

    // An hour-long period: stopping must not wait for it (a hang here fails by timeout).
    meter.setPeriod(std::chrono::hours(1));
    ASSERT_TRUE(meter.start("test-meter"));
    meter.stopAndWait();
    EXPECT_FALSE(meter.isRunning());
}

} // namespace

// Each program's bytes of the last whole period and of the last minute, per profile: the
// period under way shows at the next tick, a minute later the bytes are gone and so is the
// program's entry.
TEST_F(MeterTest, ProgramsRatesCoverTheLastPeriodAndTheLastMinute)
{
    CProfile strict = makeDefaultProfile(kLocalText);
    strict.ipFilter.clear();
    strict.addIpFilter("192.0.2.*", true);
    strict.setName("Strict");
    shared.profiles = {makeDefaultProfile(kLocalText), strict};
    struct Step {
        std::vector<std::tuple<std::uint64_t, PacketWay, std::uint64_t, std::uint32_t>> flows; // cgroup, way, bytes, peer
        int ticks;
        std::string all, strict; // cgroup:current down/up,minute down/up
        std::size_t kept;
    };
    const std::uint32_t other = ipv4(192, 0, 2, 7); // Strict takes it
    const PacketWay in = PacketWay::Received, out = PacketWay::Sent;
    const Step steps[] = {
        {{{7, in, 100, kPeer}, {7, out, 30, kPeer}, {0, in, 50, kPeer}, {9, in, 20, other}}, 1,
         "0:50/0,50/0 7:100/30,100/30 9:20/0,20/0", "9:20/0,20/0", 4},
        {{{7, in, 1000, kPeer}}, 2, "0:0/0,50/0 7:0/0,1100/30 9:0/0,20/0", "9:0/0,20/0", 4},
        {{{5, out, 10, kPeer}}, 0, "0:0/0,50/0 7:0/0,1100/30 9:0/0,20/0", "9:0/0,20/0", 5},
        {{}, 57, "0:0/0,50/0 5:0/0,0/10 7:0/0,1100/30 9:0/0,20/0", "9:0/0,20/0", 5},
        {{}, 1, "5:0/0,0/10 7:0/0,1000/0", "", 2},
        {{{7, in, 1, kPeer}}, 1, "5:0/0,0/10 7:1/0,1/0", "", 2},
        {{}, 59, "7:0/0,1/0", "", 1},
        {{}, 1, "", "", 0},
    };
    const auto ratesOf = [&](const std::string& profile) {
        std::map<std::uint64_t, CgroupRate> byId;
        for (const CgroupRate& rate : meter.recentRates().of(profile))
            byId[rate.cgroup] = rate;
        std::string text;
        for (const auto& [id, r] : byId)
            text += (text.empty() ? "" : " ") + std::to_string(id) + ":" + std::to_string(r.currentDown) + "/" +
                    std::to_string(r.currentUp) + "," + std::to_string(r.minuteDown) + "/" + std::to_string(r.minuteUp);
        return text;
    };
    for (const Step& step : steps) {
        for (const auto& [cgroup, way, bytes, peer] : step.flows)
            meter.countFlow({IpAddress::fromV4(kLocal), IpAddress::fromV4(peer), 1, 2, 6, way, 4, 0, cgroup}, {bytes, 0, 1});
        for (int tick = 0; tick < step.ticks; ++tick)
            meter.tick();
        SCOPED_TRACE(testing::Message() << "after " << step.all);
        EXPECT_EQ(ratesOf("Default"), step.all);
        EXPECT_EQ(ratesOf("Strict"), step.strict);
        EXPECT_EQ(meter.recentRates().kept(), step.kept);
    }
}
