// Two capture threads dispatch while the window thread adds and removes profiles and filter
// entries. The profile that is never touched must hold exactly what was sent; under
// ThreadSanitizer this also proves the guard covers every access.
#include "capture/traffic_meter.h"
#include "packet_builder.h"
#include "profile/profile_store.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {

TEST(MeterStress, DispatchWhileProfilesChange)
{
    SharedProfiles shared;
    const CProfile base = makeDefaultProfile("198.51.100.2");
    shared.profiles.push_back(base);

    CTrafficMeter meter({}, &shared);
    constexpr int kPacketsPerThread = 20000;
    std::atomic<bool> go{false};
    auto capture = [&](std::uint32_t peer) {
        const auto down = makePacket(peer, ipv4(198, 51, 100, 2), 443, 5000, 100);
        const auto up = makePacket(ipv4(198, 51, 100, 2), peer, 5000, 443, 60);
        while (!go.load())
            std::this_thread::yield();
        for (int i = 0; i < kPacketsPerThread; ++i) {
            meter.dispatchPacket(down.data(), 100);
            meter.dispatchPacket(up.data(), 60);
        }
    };
    std::thread first(capture, ipv4(198, 51, 100, 1));
    std::thread second(capture, ipv4(192, 0, 2, 1));
    std::thread window([&] {
        go = true;
        for (int round = 0; round < 300; ++round) {
            std::unique_lock lock(shared.guard);
            CProfile extra = base;
            extra.setName("extra" + std::to_string(round));
            extra.addIpFilter("192.0.2.*", round % 2 == 0);
            shared.profiles.push_back(extra);
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

    const DayTotals counted = historyTotals(shared.snapshot()[0]);
    EXPECT_EQ(counted.down, 2.0 * kPacketsPerThread * 100);
    EXPECT_EQ(counted.up, 2.0 * kPacketsPerThread * 60);
}

} // namespace
