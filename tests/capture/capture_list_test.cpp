// The capture list shared by the watcher and the window, with captures that are never opened
// (no packet socket needed): sharing, refusal after closeAll, and dropping stale addresses.

#include "capture/capture_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

std::shared_ptr<CPacketCapture> unopenedCapture()
{
    return std::make_shared<CPacketCapture>([](const std::uint8_t*, std::int32_t, std::size_t) {});
}

TEST(CaptureList, AddressesOfOneInterfaceShareOneCapture)
{
    CaptureList list;
    const auto first = unopenedCapture();
    const auto second = unopenedCapture();
    EXPECT_TRUE(list.append("198.51.100.1", first));
    EXPECT_TRUE(list.append("198.51.100.11", first));
    EXPECT_TRUE(list.append("198.51.100.129", second));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.addresses(), (std::vector<std::string>{"198.51.100.1", "198.51.100.11", "198.51.100.129"}));
    EXPECT_TRUE(list.contains("198.51.100.11"));
    EXPECT_FALSE(list.contains("198.51.100.1 ")) << "addresses compare as whole texts";
    EXPECT_EQ(list.captures(), (std::vector<std::shared_ptr<CPacketCapture>>{first, second}));
}

TEST(CaptureList, RefusesAppendsAfterCloseAll)
{
    CaptureList list;
    ASSERT_TRUE(list.append("198.51.100.1", unopenedCapture()));
    list.closeAll();
    EXPECT_TRUE(list.isClosed());
    EXPECT_EQ(list.size(), 0u);
    EXPECT_FALSE(list.append("198.51.100.2", unopenedCapture()));
    EXPECT_FALSE(list.contains("198.51.100.2"));
    EXPECT_FALSE(list.append("198.51.100.3", nullptr));
}

TEST(CaptureList, DropsStaleAddressesAndClosesOnlyUnusedCaptures)
{
    CaptureList list;
    const auto shared = unopenedCapture();
    const auto single = unopenedCapture();
    list.append("198.51.100.1", shared);
    list.append("198.51.100.11", shared);
    list.append("198.51.100.129", single);

    const auto dropAddress = [](const std::string& gone) {
        return [gone](const std::string& address, CPacketCapture&) { return address == gone; };
    };
    EXPECT_EQ(list.removeStale(dropAddress("198.51.100.11")), 0u) << "198.51.100.1 still uses it";
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.removeStale(dropAddress("198.51.100.129")), 1u);
    EXPECT_EQ(list.removeStale([&](const std::string&, CPacketCapture& capture) { return &capture == shared.get(); }), 1u);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_TRUE(list.addresses().empty());
}

TEST(CaptureList, ConcurrentAppendsAndCloseAllLeaveNothingBehind)
{
    CaptureList list;
    std::vector<std::shared_ptr<CPacketCapture>> refused;
    std::thread adder([&] {
        for (int i = 0; i < 2000; ++i) {
            auto capture = unopenedCapture();
            if (!list.append("198.51.100." + std::to_string(i % 250), capture))
                refused.push_back(capture);
        }
    });
    list.closeAll();
    adder.join();
    EXPECT_EQ(list.size(), 0u);
    EXPECT_TRUE(list.addresses().empty());
}

TEST(PacketCapture, OpeningAnAddressThatIsNotLocalFails)
{
    CPacketCapture capture([](const std::uint8_t*, std::int32_t, std::size_t) {});
    capture.close(); // never opened: nothing to do
    EXPECT_FALSE(capture.open("192.0.2.254", 0));
    EXPECT_EQ(capture.failureText(), "WSAEADDRNOTAVAIL\nCannot assign requested address");
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(capture.hasThread());
    EXPECT_EQ(capture.address(), "");
}

} // namespace
