// Counting what crossed the wire when the kernel hands the capture offloaded super-packets.
//
// Three namespaces: sender - router - receiver. The sender and the receiver send with TCP
// segmentation offload (veth's default) and receive with GRO; the router forwards in software
// with every segmentation offload off on both its interfaces, so each packet that reaches the
// sender or the receiver has the size it would have on a real wire. Their receive counters
// are the truth: what the receiver got is what the sender sent, and the other way round. The
// capture on each end sees TSO super-packets going out and GRO super-packets coming in, and
// must account exactly the wire's bytes and packets in both directions, over IPv4 and IPv6;
// so must the kernel source's programs at each end (gso_segs and gso_size of the same packets).

#include "capture/kernel_flow_counter.h"
#include "capture/packet_capture.h"
#include "accounting/traffic_meter.h"
#include "capture/wire_packets.h"
#include "support/network_namespace.h"
#include "support/packet_builder.h"
#include "profile/profile_store.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#ifndef UDP_SEGMENT
#define UDP_SEGMENT 103 // linux/udp.h: send one buffer as datagrams of this payload size
#endif

namespace {

constexpr std::size_t kBulkBytes = 200u << 20;

// IP bytes and packets a link's receive counters saw.
struct Wire {
    unsigned long long bytes = 0;
    unsigned long long packets = 0;
};

// One end: its namespace, interface and address, and a capture and meter of its own counting
// the allow-all profile of its address.
struct End {
    End(const std::string& label, std::string interfaceName, std::string ownAddress)
        : side(label), interface(std::move(interfaceName)), address(std::move(ownAddress))
    {
        profiles.profiles.push_back(makeDefaultProfile(address));
    }

    // Bytes a received packet adds to the counters besides its IP bytes: 14 for the Ethernet
    // header, but veth counts a packet it receives through NAPI (with GRO on) only from its
    // IP header on. Measured with one ping of 84 IP bytes from `from` (104 over IPv6).
    long linkHeaderCounted(const End& from) const
    {
        const Wire before = raw();
        from.side.run("ping -c 1 -W 2 " + address);
        const Wire after = raw();
        if (after.packets - before.packets != 1)
            return -1;
        return long(after.bytes - before.bytes) - (address.find(':') != std::string::npos ? 104 : 84);
    }

    Wire raw() const { return {side.counter(interface, "rx_bytes"), side.counter(interface, "rx_packets")}; }

    void handle(const CapturedPacket& packet)
    {
        if (packet.delivered <= 20 || packet.captured < 20)
            return;
        const bool isDownload = packet.way == PacketWay::Received;
        const WirePackets wire =
            countWirePackets(packet.data, std::uint32_t(packet.delivered), packet.captured, packet.offload);
        (isDownload ? downPackets : upPackets).fetch_add(wire.packets);
        delivered.fetch_add(1);
    }

    NetworkNamespace side;
    std::string interface;
    std::string address;
    SharedProfiles profiles;
    CTrafficMeter meter{{}, &profiles};
    std::unique_ptr<CPacketCapture> capture;
    std::unique_ptr<KernelFlowCounter> kernel;
    std::atomic<std::uint64_t> downPackets{0}, upPackets{0}, delivered{0};
};

// Sends `total` bytes of TCP from `from` to a listener at `to`.
void bulkTransfer(const End& from, const End& to, std::size_t total)
{
    const int listener = socketInside(to.side, SOCK_STREAM, to.address, 0);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    const AnySocketAddress target = anySocketAddress(to.address, boundPort(listener));
    std::thread sender = from.side.startInside([&] {
        connectAndSend(target.get(), target.length, total);
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

// Datagrams from `from` to a socket bound at `to`: plain ones of assorted sizes (1 byte: a
// 29-byte packet; 3000 bytes: IP fragments), and UDP segmentation offload buffers, cut on
// the wire into 1000-byte datagrams and a last one of 10 bytes (a 38-byte packet). Returns
// the number of wire packets of 40 bytes or less it sent.
unsigned long long sendDatagrams(const End& from, const End& to)
{
    const int receiver = socketInside(to.side, SOCK_DGRAM, to.address, 9002);
    const int sender = socketInside(from.side, SOCK_DGRAM, from.address, 9001);
    EXPECT_GE(receiver, 0);
    EXPECT_GE(sender, 0);
    const AnySocketAddress target = anySocketAddress(to.address, 9002);
    std::vector<std::uint8_t> payload(8000, 0x5a);
    unsigned long long small = 0;
    for (std::size_t size : {1, 100, 1472, 3000})
        for (int copy = 0; copy < 5; ++copy) {
            EXPECT_GT(::sendto(sender, payload.data(), size, 0, target.get(), target.length), 0);
            small += size <= 12 ? 1 : 0;
        }
    const int segment = 1000;
    EXPECT_EQ(setsockopt(sender, SOL_UDP, UDP_SEGMENT, &segment, sizeof segment), 0);
    for (int copy = 0; copy < 5; ++copy) {
        EXPECT_EQ(::sendto(sender, payload.data(), 5010, 0, target.get(), target.length), 5010);
        ++small;
    }
    // The receiver's buffer holds them all; read so nothing is left to an ICMP error.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::close(sender);
    ::close(receiver);
    return small;
}

// Opens the end's capture on a packet socket made inside its namespace, counting its interface.
bool startCapture(End& end)
{
    end.capture = std::make_unique<CPacketCapture>([&end](const CapturedPacket& packet) {
        end.handle(packet);
        countPacket(end.meter, packet);
    });
    end.capture->setMachineAddresses(interfaceAddresses(end.side, end.interface));
    bool opened = false;
    end.side.runInside([&] {
        opened = end.capture->open(CaptureSocket::open());
        std::string failure;
        end.kernel = KernelFlowCounter::load(failure);
        EXPECT_NE(end.kernel, nullptr) << failure;
        opened = opened && end.kernel != nullptr &&
                 end.kernel->setMachineAddresses(interfaceAddresses(end.side, end.interface));
    });
    return opened;
}

// Over IPv6 when the parameter is true.
class OffloadRouterTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (!canUseNamespaces())
            GTEST_SKIP() << "capture tests need root (network namespaces and CAP_NET_RAW)";
        removeAbandonedNamespaces();
        const bool ipv6 = GetParam();
        sender = std::make_unique<End>("sender", "vs0", ipv6 ? "2001:db8:1::1" : "198.51.100.1");
        receiver = std::make_unique<End>("receiver", "vd0", ipv6 ? "2001:db8:2::1" : "203.0.113.1");
        router = std::make_unique<NetworkNamespace>("router");
        ASSERT_TRUE(sender->side.isCreated() && receiver->side.isCreated() && router->isCreated());
        ASSERT_TRUE(linkNamespaces(sender->side, "vs0", "198.51.100.1/24", *router, "vr0", "198.51.100.2/24"));
        ASSERT_TRUE(linkNamespaces(*router, "vr1", "203.0.113.2/24", receiver->side, "vd0", "203.0.113.1/24"));
        if (ipv6) {
            ASSERT_TRUE(linkIpv6(sender->side, "vs0", "2001:db8:1::1/64", *router, "vr0", "2001:db8:1::2/64"));
            ASSERT_TRUE(linkIpv6(*router, "vr1", "2001:db8:2::2/64", receiver->side, "vd0", "2001:db8:2::1/64"));
            ASSERT_TRUE(sender->side.run("ip -6 route add 2001:db8:2::/64 via 2001:db8:1::2"));
            ASSERT_TRUE(receiver->side.run("ip -6 route add 2001:db8:1::/64 via 2001:db8:2::2"));
            ASSERT_TRUE(router->run("sysctl -qw net.ipv6.conf.all.forwarding=1"));
            // The router's listener reports for the all-routers groups it joins go to both ends
            // and would count as traffic one end sent the other: let them pass first.
            ASSERT_TRUE(waitForQuietLink(sender->side, "vs0") && waitForQuietLink(receiver->side, "vd0"));
        } else {
            ASSERT_TRUE(sender->side.run("ip route add 203.0.113.0/24 via 198.51.100.2"));
            ASSERT_TRUE(receiver->side.run("ip route add 198.51.100.0/24 via 203.0.113.2"));
            ASSERT_TRUE(router->run("sysctl -w net.ipv4.ip_forward=1"));
        }
        // The router cuts every packet to the wire's size itself; the ends receive with GRO.
        // A queue on the router's links makes a full receive ring push back instead of dropping
        // (veth does so when a qdisc is attached): a drop would be resent by TCP, and the
        // resent copy would reach one end's capture but not the other end's counters.
        for (const char* interface : {"vr0", "vr1"}) {
            ASSERT_TRUE(router->run(std::string("ethtool -K ") + interface + " tso off gso off tx-udp-segmentation off"));
            ASSERT_TRUE(router->run(std::string("tc qdisc replace dev ") + interface + " root pfifo limit 10000"));
        }
        ASSERT_TRUE(sender->side.run("ethtool -K vs0 gro on"));
        ASSERT_TRUE(receiver->side.run("ethtool -K vd0 gro on"));
    }

    void TearDown() override
    {
        for (End* end : {sender.get(), receiver.get()})
            if (end != nullptr && end->capture != nullptr) {
                end->capture->close();
                end->kernel.reset();
            }
    }

    std::unique_ptr<End> sender, receiver;
    std::unique_ptr<NetworkNamespace> router;
};

} // namespace

TEST_P(OffloadRouterTest, CapturesOnBothEndsCountTheWiresBytesAndPacketsExactly)
{
    const bool ipv6 = GetParam();
    const long senderLink = sender->linkHeaderCounted(*receiver);
    const long receiverLink = receiver->linkHeaderCounted(*sender);
    ASSERT_TRUE(senderLink == 0 || senderLink == 14) << senderLink;
    ASSERT_TRUE(receiverLink == 0 || receiverLink == 14) << receiverLink;
    for (End* end : {sender.get(), receiver.get()})
        ASSERT_TRUE(startCapture(*end));

    const Wire senderBefore = sender->raw(), receiverBefore = receiver->raw();
    EXPECT_TRUE(sender->side.run("ping -c 3 -i 0.2 -W 2 -s 3000 " + receiver->address)); // fragmented
    const unsigned long long smallUp = sendDatagrams(*sender, *receiver);
    const unsigned long long smallDown = sendDatagrams(*receiver, *sender);
    bulkTransfer(*sender, *receiver, kBulkBytes);
    bulkTransfer(*receiver, *sender, kBulkBytes);
    const Wire senderAfter = sender->raw(), receiverAfter = receiver->raw();
    unsigned long long linkDrops = 0;
    for (const char* interface : {"vr0", "vr1"})
        for (const char* counter : {"tx_dropped", "rx_dropped"})
            linkDrops += router->counter(interface, counter);
    EXPECT_EQ(linkDrops, 0u) << "the router's links dropped packets; their resent copies spoil the truth";

    // What each end received, in IP bytes and packets; what one sent, the other received.
    const auto received = [](const Wire& before, const Wire& after, long linkHeader) {
        const unsigned long long packets = after.packets - before.packets;
        return Wire{after.bytes - before.bytes - (unsigned long long)(linkHeader) * packets, packets};
    };
    const Wire toSender = received(senderBefore, senderAfter, senderLink);
    const Wire toReceiver = received(receiverBefore, receiverAfter, receiverLink);
    const auto overhead = [](const Wire& wire, unsigned long long small) { return 40 * (wire.packets - small) + 28 * small; };

    struct Expectation {
        End* end;
        Wire down, up;
        unsigned long long smallDown, smallUp;
    };
    for (const Expectation& e : {Expectation{sender.get(), toSender, toReceiver, smallDown, smallUp},
                                 Expectation{receiver.get(), toReceiver, toSender, smallUp, smallDown}}) {
        End& end = *e.end;
        const auto history = [&] { return historyTotals(end.profiles.snapshot().front()); };
        // The ring hands over a part-filled block after its timeout; wait for the last packets.
        waitFor([&] { return history().down >= double(e.down.bytes) && history().up >= double(e.up.bytes); });
        EXPECT_EQ((unsigned long long)history().down, e.down.bytes) << end.address;
        EXPECT_EQ((unsigned long long)history().up, e.up.bytes) << end.address;
        EXPECT_EQ(end.downPackets.load(), e.down.packets) << end.address;
        EXPECT_EQ(end.upPackets.load(), e.up.packets) << end.address;
        if (!ipv6) { // IPv6's allowance follows each packet's headers (ipv6_decode_test.cpp)
            EXPECT_EQ(end.meter.downloadOverhead.load(), overhead(e.down, e.smallDown)) << end.address;
            EXPECT_EQ(end.meter.uploadOverhead.load(), overhead(e.up, e.smallUp)) << end.address;
        }
        // The offloads were at work: far fewer packets reached the capture than the wire carried.
        EXPECT_LT(end.delivered.load() * 4, e.down.packets + e.up.packets) << end.address;
        EXPECT_EQ(end.capture->kernelDrops(), 0u) << end.address;
        // The kernel source, on the same packets.
        velmora_flow_count kernelDown{}, kernelUp{};
        end.kernel->drain([&](const velmora_flow_key& key, const velmora_flow_count& count) {
            velmora_flow_count& sum = key.direction == VELMORA_RECEIVED ? kernelDown : kernelUp;
            sum.bytes += count.bytes;
            sum.overhead += count.overhead;
            sum.packets += count.packets;
        });
        EXPECT_EQ(kernelDown.bytes, e.down.bytes) << end.address << ", kernel";
        EXPECT_EQ(kernelUp.bytes, e.up.bytes) << end.address << ", kernel";
        EXPECT_EQ(kernelDown.packets, e.down.packets) << end.address << ", kernel";
        EXPECT_EQ(kernelUp.packets, e.up.packets) << end.address << ", kernel";
        EXPECT_EQ(kernelDown.overhead, end.meter.downloadOverhead.load()) << end.address << ", kernel";
        EXPECT_EQ(kernelUp.overhead, end.meter.uploadOverhead.load()) << end.address << ", kernel";
    }
    EXPECT_GT(toReceiver.bytes, kBulkBytes);
    EXPECT_GT(toSender.bytes, kBulkBytes);
}

INSTANTIATE_TEST_SUITE_P(Families, OffloadRouterTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Ipv6" : "Ipv4"; });

// A socket that refuses the offload header (only SOCK_RAW packet sockets take it) still gets
// its ring and delivers every packet, as one packet each; the refusal is said once per run.
TEST(OffloadHeaders, RefusedHeaderLeavesTheRingWorkingAndIsSaidOnce)
{
    if (!canUseNamespaces())
        GTEST_SKIP() << "needs root (network namespaces and CAP_NET_RAW)";
    const NetworkNamespace side("offload");
    ASSERT_TRUE(side.isCreated());
    struct Case {
        int type;
        bool headers;
        int toldLines;
    };
    const Case cases[] = {{SOCK_RAW, true, 0}, {SOCK_DGRAM, false, 1}, {SOCK_DGRAM, false, 0}};
    for (const Case& c : cases) {
        std::unique_ptr<CNetSocket> socket;
        PacketRing ring;
        bool ready = false;
        testing::internal::CaptureStderr();
        side.runInside([&] {
            socket = std::make_unique<CNetSocket>(::socket(AF_PACKET, c.type | SOCK_CLOEXEC, 0));
            ready = ring.setup(*socket) && socket->bindInterface(1, ETH_P_ALL); // loopback
        });
        const std::string told = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(ready) << socket->lastError();
        EXPECT_EQ(ring.hasOffloadHeaders(), c.headers) << c.type;
        EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), c.toldLines) << told;
        EXPECT_TRUE(c.toldLines == 0 || told.find("bulk transfers will read low") != std::string::npos) << told;

        ASSERT_TRUE(side.run("ping -c 2 -i 0.2 -W 1 127.0.0.1"));
        std::size_t seen = 0;
        waitFor([&] {
            ring.drain([&](const RingPacket& packet) {
                seen += packet.length == 84 && packet.offload.segmentation == Segmentation::None ? 1 : 0;
            });
            return seen >= 8;
        });
        // Two requests and two replies, each seen going out and coming in on the loopback.
        EXPECT_EQ(seen, 8u) << c.type;
    }
}
