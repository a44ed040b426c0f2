// The capture engine against real traffic: two namespaces joined by veth pairs, the engine
// (address watcher, capture list, meter with the Default profile) running in the first.
// Every IPv4 byte the kernel counts on the link must be accounted once, in the right direction.

#include "capture/address_watcher.h"
#include "capture/capture_socket.h"
#include "support/wait_for.h"
#include "accounting/traffic_meter.h"
#include "support/network_namespace.h"
#include "support/packet_builder.h"
#include "profile/profile_store.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <numeric>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Everything in the Default profile's day history.
LinkBytes accounted(const SharedProfiles& profiles)
{
    const DayTotals sum = historyTotals(profiles.snapshot().front());
    return {static_cast<unsigned long long>(sum.down), static_cast<unsigned long long>(sum.up)};
}

// Datagrams of assorted sizes, some longer than the link MTU (sent as IP fragments). None
// leaves a fragment of 28 bytes or less: accounting never counts those (the capture does).
void sendDatagrams(int from, const std::string& to, int port)
{
    const sockaddr_in target = socketAddress(to, port);
    std::vector<std::uint8_t> payload(8000, 0x5a);
    for (std::size_t size : {1, 100, 1472, 1490, 3000, 8000})
        for (int copy = 0; copy < 5; ++copy)
            ASSERT_GT(::sendto(from, payload.data(), size, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target), 0);
}

// Sends `total` bytes over TCP from `client` (in b) to a listener on `address` (in a).
void bulkTransfer(const NetworkNamespace& a, const NetworkNamespace& b, const std::string& address,
                  std::size_t total)
{
    const int listener = socketInside(a, SOCK_STREAM, address, 0);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size);

    std::thread sender = b.startInside([&] {
        const sockaddr_in target = socketAddress(address, ntohs(bound.sin_port));
        connectAndSend(reinterpret_cast<const sockaddr*>(&target), sizeof target, total);
    });
    const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    std::vector<std::uint8_t> buffer(1 << 16);
    std::size_t received = 0;
    for (ssize_t n; (n = ::recv(server, buffer.data(), buffer.size(), 0)) > 0;)
        received += std::size_t(n);
    sender.join();
    ::close(server);
    ::close(listener);
    EXPECT_EQ(received, total);
}

// Drops CAP_NET_RAW from the calling thread's effective set (capabilities are per thread).
bool dropRawCapability()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[CAP_TO_INDEX(CAP_NET_RAW)].effective &= ~CAP_TO_MASK(CAP_NET_RAW);
    return syscall(SYS_capset, &header, data) == 0;
}

bool hasAddress(const CAddressWatcher& watcher, const std::string& address)
{
    const std::vector<IpAddress> listed = watcher.addresses();
    return std::find(listed.begin(), listed.end(), parseIpAddress(address)) != listed.end();
}

int interfaceIndex(const NetworkNamespace& side, const std::string& interface)
{
    return std::atoi(side.output("cat /sys/class/net/" + interface + "/ifindex").c_str());
}

class CaptureNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!canUseNamespaces())
            GTEST_SKIP() << "capture tests need root (network namespaces and CAP_NET_RAW)";
        ASSERT_TRUE(makeNearAndFar(near, far)) << "the linked namespaces near and far could not be made";

        profiles.profiles.push_back(makeDefaultProfile("198.51.100.1"));
    }

    void TearDown() override
    {
        capture.close();
        watcher.reset();
    }

    // Opens the capture's socket inside `near` and starts the engine there.
    void startEngine(std::chrono::milliseconds period)
    {
        watcher = std::make_unique<CAddressWatcher>(&capture, period);
        near->runInside([this] {
            ASSERT_TRUE(capture.open(CaptureSocket::open())) << capture.failureText();
            watcher->start("velmora-watch");
        });
    }

    // Waits until two complete passes began after now: the second saw the current addresses.
    void waitTwoPasses()
    {
        const std::uint64_t start = watcher->passes();
        ASSERT_TRUE(waitFor([&] { return watcher->passes() >= start + 2; }));
    }

    std::unique_ptr<NetworkNamespace> near, far;
    SharedProfiles profiles;
    CTrafficMeter meter{{}, &profiles};
    std::atomic<std::uint64_t> capturedBytes{0};
    std::atomic<std::uint64_t> capturedPackets{0};
    // veth's counters count an offloaded super-packet once: the packets are compared as the
    // socket delivers them (offload_router_test.cpp compares wire packets).
    CPacketCapture capture{[this](const CapturedPacket& packet) {
        capturedBytes.fetch_add(std::uint64_t(packet.delivered));
        capturedPackets.fetch_add(1);
        CapturedPacket asDelivered = packet;
        asDelivered.offload = {};
        countPacket(meter, asDelivered);
    }};
    std::unique_ptr<CAddressWatcher> watcher;
};

} // namespace

TEST_F(CaptureNamespaceTest, AccountsEveryIpv4ByteOfTheLinkOnceInItsDirection)
{
    // A second address on the same interface: its packets are still counted once.
    ASSERT_TRUE(near->run("ip addr add 198.51.100.11/25 dev vm0"));
    startEngine(10s);
    ASSERT_TRUE(waitFor([&] { return hasAddress(*watcher, "198.51.100.1") && hasAddress(*watcher, "198.51.100.11"); }));
    EXPECT_EQ(capture.countedInterfaces(), std::vector<int>{interfaceIndex(*near, "vm0")}) << "lo is left out";

    const LinkBytes before = ipBytes(*near, "vm0");
    const unsigned long long droppedBefore = near->counter("vm0", "tx_dropped");
    const LinkBytes countedBefore = accounted(profiles);
    const unsigned long long packetsBefore = near->counter("vm0", "rx_packets") + near->counter("vm0", "tx_packets");
    const std::uint64_t capturedBefore = capturedBytes.load();
    const std::uint64_t capturedPacketsBefore = capturedPackets.load();
    EXPECT_TRUE(far->run("ping -c 3 -i 0.2 -W 2 198.51.100.1"));
    EXPECT_TRUE(far->run("ping -c 3 -i 0.2 -W 2 -s 3000 198.51.100.1")); // fragmented
    const int nearUdp = socketInside(*near, SOCK_DGRAM, "198.51.100.1", 9001);
    const int farUdp = socketInside(*far, SOCK_DGRAM, "198.51.100.2", 9002);
    ASSERT_GE(nearUdp, 0);
    ASSERT_GE(farUdp, 0);
    sendDatagrams(nearUdp, "198.51.100.2", 9002);
    sendDatagrams(farUdp, "198.51.100.1", 9001);
    bulkTransfer(*near, *far, "198.51.100.1", 300u << 20);
    ::close(nearUdp);
    ::close(farUdp);
    // Closed at once: what arrived before the close is counted all the same (the block the
    // kernel was filling included), as at the program's exit.
    capture.close();

    const LinkBytes after = ipBytes(*near, "vm0");
    const unsigned long long packets = near->counter("vm0", "rx_packets") + near->counter("vm0", "tx_packets") - packetsBefore;
    const LinkBytes expected{after.down - before.down, after.up - before.up};
    const LinkBytes now = accounted(profiles);
    const LinkBytes counted{now.down - countedBefore.down, now.up - countedBefore.up};
    // A packet veth drops on sending was seen by the capture but is missing from the counters.
    const unsigned long long dropped = near->counter("vm0", "tx_dropped") - droppedBefore;
    // Each packet once, with its real length (offloaded TCP packets are up to 64 KB).
    EXPECT_EQ(capturedPackets.load() - capturedPacketsBefore, packets) << dropped << " dropped by veth";
    EXPECT_EQ(capturedBytes.load() - capturedBefore, expected.down + expected.up);
    EXPECT_EQ(counted.down, expected.down);
    EXPECT_EQ(counted.up, expected.up);
    EXPECT_GT(expected.down, 300ull << 20);
    EXPECT_EQ(capture.kernelDrops(), 0u);
}

// Which interfaces count follows their addresses: an interface without a local IPv4 address
// is not counted, it is from the pass after it gets one, and no longer after it lost it.
TEST_F(CaptureNamespaceTest, CountsExactlyTheInterfacesThatHoldALocalAddress)
{
    // vm2 has no address in near; its peer vm3 sends to near's (absent) 198.51.100.129.
    ASSERT_TRUE(linkNamespaces(*near, "vm2", "198.51.100.129/25", *far, "vm3", "198.51.100.130/25"));
    ASSERT_TRUE(near->run("ip addr del 198.51.100.129/25 dev vm2"));
    ASSERT_TRUE(far->run("ip route replace 198.51.100.128/25 dev vm3"));
    startEngine(200ms);
    ASSERT_TRUE(waitFor([&] { return hasAddress(*watcher, "198.51.100.1"); }));
    const int udp = socketInside(*far, SOCK_DGRAM, "198.51.100.130", 9003);
    const int sink = socketInside(*near, SOCK_DGRAM, "0.0.0.0", 9004); // no ICMP replies
    ASSERT_GE(udp, 0);
    ASSERT_GE(sink, 0);
    const sockaddr_in target = socketAddress("198.51.100.129", 9004);

    struct Step {
        const char* change; // run in near before the datagrams are sent
        bool counted;
    };
    const Step steps[] = {
        {"true", false},                                   // never had an address
        {"ip addr add 198.51.100.129/25 dev vm2", true},   // counted from the next pass
        {"ip addr del 198.51.100.129/25 dev vm2", false},  // its only address removed
        {"ip addr add 198.51.100.129/25 dev vm2", true},   // back again
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.change);
        ASSERT_TRUE(near->run(step.change));
        waitTwoPasses();
        const unsigned long long received = near->counter("vm2", "rx_bytes");
        const unsigned long long frames = near->counter("vm2", "rx_packets");
        const std::uint64_t bytesBefore = capturedBytes.load();
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(::sendto(udp, "0123456789", 10, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target), 10);
        ASSERT_TRUE(waitFor([&] { return near->counter("vm2", "rx_packets") >= frames + 5; }));
        const unsigned long long expected = near->counter("vm2", "rx_bytes") - received -
                                            kEthernetHeader * (near->counter("vm2", "rx_packets") - frames);
        waitFor([&] { return capturedBytes.load() - bytesBefore >= expected; }, 1s);
        std::this_thread::sleep_for(4 * std::chrono::milliseconds(PacketRing::kBlockTimeoutMs));
        // Nothing else crosses vm0 or vm2 meanwhile: the capture saw exactly these datagrams.
        EXPECT_EQ(capturedBytes.load() - bytesBefore, step.counted ? expected : 0u);
    }
    ::close(udp);
    ::close(sink);
}

// The reader stalls for 2 s (as a stopped or descheduled process would) while 200 packets a
// second arrive: the ring holds them all, nothing is dropped and every byte is counted.
TEST_F(CaptureNamespaceTest, AStallOfTwoSecondsLosesNothing)
{
    std::atomic<bool> stall{false};
    CPacketCapture stalled([&](const CapturedPacket& packet) {
        if (stall.exchange(false))
            std::this_thread::sleep_for(2s);
        capturedBytes.fetch_add(std::uint64_t(packet.delivered));
        countPacket(meter, packet);
    });
    // vm0 among 500 counted interfaces (the others do not exist): the kernel filter's jumps
    // from vm0's test to its end reach past what a conditional jump can.
    std::vector<MachineAddress> counted = interfaceAddresses(*near, "vm0").entries();
    for (int index = 1000; index < 1500; ++index)
        counted.push_back({index, IpAddress::fromV4(ipv4(203, 0, 113, 1))});
    stalled.setMachineAddresses(MachineAddresses(std::move(counted)));
    near->runInside([&] { ASSERT_TRUE(stalled.open(CaptureSocket::open())) << stalled.failureText(); });
    const int nearUdp = socketInside(*near, SOCK_DGRAM, "198.51.100.1", 9001);
    const int farUdp = socketInside(*far, SOCK_DGRAM, "198.51.100.2", 9002);
    ASSERT_GE(nearUdp, 0);
    ASSERT_GE(farUdp, 0);
    const sockaddr_in target = socketAddress("198.51.100.1", 9001);
    const LinkBytes before = ipBytes(*near, "vm0");
    stall = true;
    // 3 s at 200 packets a second, the stall in the middle of it.
    std::vector<std::uint8_t> payload(400, 0x33);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 600; ++i) {
        std::this_thread::sleep_until(start + i * 5ms);
        ASSERT_GT(::sendto(farUdp, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target), 0);
    }
    const LinkBytes after = ipBytes(*near, "vm0");
    const unsigned long long expected = after.down - before.down + after.up - before.up;
    waitFor([&] { return capturedBytes.load() >= expected; });
    stalled.close();
    ::close(nearUdp);
    ::close(farUdp);
    EXPECT_FALSE(stall.load()) << "the handler never stalled";
    EXPECT_EQ(stalled.kernelDrops(), 0u);
    EXPECT_EQ(capturedBytes.load(), expected);
    EXPECT_GE(expected, 600u * 428u);
}

TEST_F(CaptureNamespaceTest, FramesForOtherHostsAreNotCounted)
{
    startEngine(10s);
    ASSERT_TRUE(waitFor([&] { return hasAddress(*watcher, "198.51.100.1"); }));
    // Frames to a MAC address that is not vm0's still reach vm0's packet taps, marked
    // PACKET_OTHERHOST, and then the IP layer drops them: they are not this machine's traffic.
    ASSERT_TRUE(far->run("ip neigh replace 198.51.100.50 lladdr 02:00:00:00:00:50 dev vm1 nud permanent"));
    const unsigned long long received = near->counter("vm0", "rx_packets");
    const std::uint64_t seen = capturedPackets.load();
    far->run("ping -c 3 -i 0.2 -W 1 198.51.100.50");
    EXPECT_EQ(near->counter("vm0", "rx_packets"), received + 3) << "the frames did reach vm0";
    // One packet of the machine's own, to know when the capture has read past the others.
    const int nearUdp = socketInside(*near, SOCK_DGRAM, "198.51.100.1", 9001);
    const int farUdp = socketInside(*far, SOCK_DGRAM, "198.51.100.2", 9002); // no ICMP reply
    const sockaddr_in target = socketAddress("198.51.100.2", 9002);
    ASSERT_EQ(::sendto(nearUdp, "x", 1, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target), 1);
    ::close(nearUdp);
    ::close(farUdp);
    ASSERT_TRUE(waitFor([&] { return capturedPackets.load() > seen; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(capturedPackets.load(), seen + 1);
}

TEST_F(CaptureNamespaceTest, ShutdownDuringTheWatcherPauseIsPrompt)
{
    startEngine(10s);
    ASSERT_TRUE(waitFor([&] { return watcher->passes() >= 1; }));
    capture.close();
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(capture.hasThread());
    const auto start = std::chrono::steady_clock::now();
    watcher.reset(); // wakes the 10 s pause instead of sitting it out
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(CaptureNamespaceTest, WithoutCaptureRightsSaysOnceHowToGrantThem)
{
    CaptureSocket first, second;
    testing::internal::CaptureStderr();
    near->runInside([&] {
        ASSERT_TRUE(dropRawCapability());
        first = CaptureSocket::open();
        second = CaptureSocket::open();
    });
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(first.isOpen() || second.isOpen());
    EXPECT_NE(told.find("setcap cap_net_raw,cap_net_admin,cap_perfmon,cap_bpf+ep "), std::string::npos) << told;
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << "once per run: " << told;
    // The refused socket leaves the capture off, saying why.
    EXPECT_FALSE(capture.open(std::move(first)));
    EXPECT_EQ(capture.failureText(), "WSAEACCES\nPermission Denied: Access in use");
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(capture.hasThread());
}

TEST_F(CaptureNamespaceTest, MachineAddressesListUpInterfacesWithoutLoopback)
{
    const NetworkNamespace empty("empty");
    ASSERT_TRUE(empty.isCreated());
    ASSERT_TRUE(near->run("ip addr add 198.51.100.11/25 dev vm0"));
    ASSERT_TRUE(near->run("ip link add vm9 type veth peer name vm8") && near->run("ip addr add 192.0.2.9/24 dev vm9"));
    const auto ipv4Texts = [] {
        std::string text;
        const MachineAddresses machine = listMachineAddresses().value_or(MachineAddresses());
        for (const MachineAddress& entry : machine.entries())
            if (entry.address.isV4())
                text += ipAddressText(entry.address) + " ";
        return text;
    };
    std::string nearList, emptyList, unresolved;
    near->runInside([&] {
        nearList = ipv4Texts();
        // No name server is reachable from here: the lookup fails without leaving the namespace.
        unresolved = resolveHostName("velmora-no-such-host.invalid");
    });
    empty.runInside([&] { emptyList = ipv4Texts(); });
    EXPECT_EQ(nearList, "198.51.100.1 198.51.100.11 ") << "vm9 is down";
    EXPECT_EQ(emptyList, "");
    EXPECT_EQ(unresolved, "");
}
