// Two capture threads dispatch, one record at a time and in batches, while the window thread
// adds and removes profiles and filter entries and the meter thread takes the program entries.
// The profile that is never touched must hold exactly what was sent, in its day, its hours and
// its program entries; under ThreadSanitizer this also proves the guard covers every access.
#include "accounting/flow_batch.h"
#include "accounting/traffic_meter.h"
#include "support/packet_builder.h"
#include "profile/profile_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

namespace {

TEST(MeterStress, DispatchWhileProfilesChange)
{
    SharedProfiles shared;
    const CProfile base = makeDefaultProfile("198.51.100.2");
    shared.profiles.push_back(base);

    CTrafficMeter meter({}, &shared);
    AttributedTotals attributed;
    meter.setAttributedTotals(&attributed);
    constexpr int kPacketsPerThread = 20000;
    std::atomic<bool> go{false};
    std::atomic<int> capturing{2};
    auto capture = [&](std::uint32_t peer, bool inBatches) {
        const auto down = makePacket(peer, ipv4(198, 51, 100, 2), 443, 5000, 100);
        const auto up = makePacket(ipv4(198, 51, 100, 2), peer, 5000, 443, 60);
        FlowBatch batch(meter);
        const auto count = [&](const CapturedPacket& packet) {
            FlowKey key;
            FlowCount flow;
            if (!inBatches)
                countPacket(meter, packet);
            else if (packetFlow(packet, key, flow))
                batch.add(key, flow);
        };
        while (!go.load())
            std::this_thread::yield();
        for (int i = 0; i < kPacketsPerThread; ++i) {
            count(capturedPacket(down, 100, PacketWay::Received));
            count(capturedPacket(up, 60, PacketWay::Sent));
            if (i % 37 == 0)
                batch.handOver(); // as a walk of the ring ends
        }
        batch.handOver();
        --capturing;
    };
    std::map<std::string, DayTotals> entries; // by profile
    std::thread taker([&] {
        while (capturing.load() > 0) {
            for (const AttributedBytes& entry : attributed.take()) {
                entries[entry.profile].down += double(entry.down);
                entries[entry.profile].up += double(entry.up);
            }
            std::this_thread::yield();
        }
    });
    std::thread first(capture, ipv4(198, 51, 100, 1), false);
    std::thread second(capture, ipv4(192, 0, 2, 1), true);
    std::thread window([&] {
        go = true;
        for (int round = 0; round < 300; ++round) {
            std::unique_lock lock(shared.guard);
            CProfile extra = base;
            extra.setName("extra" + std::to_string(round));
            extra.addIpFilter("192.0.2.*", round % 2 == 0);
            shared.addProfile(extra);
            if (shared.profiles.size() > 4) {
                shared.profiles.erase(shared.profiles.begin() + 1);
                shared.profiles.back().addPortFilter(false, std::uint16_t(round));
                shared.profiles[1].removeIpFilter("192.0.2.*");
            }
            meter.selectedProfile = std::uint32_t(round % 5);
            lock.unlock();
            std::this_thread::yield();
        }
    });
    first.join();
    second.join();
    window.join();
    taker.join();
    for (const AttributedBytes& entry : attributed.take()) {
        entries[entry.profile].down += double(entry.down);
        entries[entry.profile].up += double(entry.up);
    }

    const CProfile untouched = shared.snapshot()[0];
    DayTotals hours;
    for (const PendingHours& day : untouched.pendingHours)
        for (const DayTotals& hour : day.hours) {
            hours.down += hour.down;
            hours.up += hour.up;
        }
    for (const DayTotals& counted : {historyTotals(untouched), hours, entries[untouched.name]}) {
        EXPECT_EQ(counted.down, 2.0 * kPacketsPerThread * 100);
        EXPECT_EQ(counted.up, 2.0 * kPacketsPerThread * 60);
    }
}


// The date enters a new year again and again while the window thread inserts and erases
// profiles in front of the one that counts. Every profile must have its new year's record
// before a packet of that year is counted, so no packet can miss the counting profile because
// the list moved under a walk that had to stop for a record.
TEST(MeterStress, NewYearWhileProfilesBeforeTheCounterAreErased)
{
    setenv("TZ", "UTC0", 1);
    tzset();
    constexpr std::time_t kYearAndADay = 366 * 86400;
    std::atomic<std::time_t> now{1767225599}; // 2025-12-31 23:59:59
    const DayClock clock([&] { return now.load(); });

    CProfile blind = makeDefaultProfile("198.51.100.2"); // counts nothing: needs no record
    blind.setName("blind");
    blind.ipFilter.clear();
    CProfile counter = makeDefaultProfile("198.51.100.2");
    counter.setName("counter");
    SharedProfiles shared;
    shared.profiles = {blind, blind, blind, counter};
    CTrafficMeter meter({}, &shared);
    meter.setClock(&clock);

    constexpr int kPacketsPerThread = 100000;
    std::atomic<int> running{2};
    std::atomic<int> dispatched{0};
    auto capture = [&](std::uint32_t peer) {
        const auto down = makePacket(peer, ipv4(198, 51, 100, 2), 443, 5000, 100);
        const auto up = makePacket(ipv4(198, 51, 100, 2), peer, 5000, 443, 60);
        for (int i = 0; i < kPacketsPerThread; ++i) {
            countPacket(meter, capturedPacket(down, 100, PacketWay::Received));
            countPacket(meter, capturedPacket(up, 60, PacketWay::Sent));
            dispatched.fetch_add(1, std::memory_order_relaxed);
        }
        --running;
    };
    std::thread first(capture, ipv4(198, 51, 100, 1));
    std::thread second(capture, ipv4(192, 0, 2, 1));
    // A new year about every 80 packets, so the years change all through the run.
    for (int round = 1; running.load() > 0 && round <= 5000; ++round) {
        while (dispatched.load(std::memory_order_relaxed) < round * 40 && running.load() > 0)
            std::this_thread::yield();
        now += kYearAndADay; // the next packet needs a record of the new year
        {
            std::unique_lock lock(shared.guard);
            if (shared.profiles.front().name != "counter")
                shared.profiles.erase(shared.profiles.begin());
        }
        std::unique_lock lock(shared.guard);
        CProfile again = blind;
        again.reserveYear(shared.preparedYear);
        shared.profiles.insert(shared.profiles.begin(), std::move(again));
    }
    first.join();
    second.join();

    for (const CProfile& profile : shared.snapshot()) {
        if (profile.name != "counter")
            continue;
        const DayTotals counted = historyTotals(profile);
        EXPECT_EQ(counted.down, 2.0 * kPacketsPerThread * 100);
        EXPECT_EQ(counted.up, 2.0 * kPacketsPerThread * 60);
        EXPECT_GT(profile.history.size(), 1u) << "the years must have changed during the run";
    }
}

} // namespace
