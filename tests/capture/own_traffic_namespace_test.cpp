// What counts on machines with many addresses: the capture, the address watcher and the meter
// in namespace `near`, against what the kernel says near itself received and sent. Each case is
// a machine setup a user has: an address lost, a second address, a router, a container host
// behind NAT, a macvlan, padded and VLAN-tagged frames, an address changed while counting.
// Both packet sources count every case side by side: the ring, and the kernel's programs
// (kernel_flow_counter.h), which must give the very same totals.

#include "capture/address_watcher.h"
#include "accounting/traffic_meter.h"
#include "capture/kernel_flow_counter.h"
#include "support/network_namespace.h"
#include "support/packet_builder.h"
#include "profile/profile_store.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

CProfile boundProfile(const std::string& name, const std::string& ip)
{
    CProfile profile = makeDefaultProfile(ip);
    profile.setName(name);
    return profile;
}

std::array<std::uint8_t, 6> macOf(const NetworkNamespace& side, const std::string& interface)
{
    std::array<std::uint8_t, 6> mac{};
    std::istringstream text(side.output("cat /sys/class/net/" + interface + "/address"));
    for (std::uint8_t& byte : mac) {
        unsigned value = 0;
        text >> std::hex >> value;
        text.ignore(1);
        byte = std::uint8_t(value);
    }
    return mac;
}

// A UDP datagram of `ipLength` IP bytes from `from` to `to` (port 9), with its header
// checksum, in an Ethernet frame of at least 60 bytes (the padding a card adds), tagged with
// VLAN 10 when asked.
std::vector<std::uint8_t> paddedFrame(const std::array<std::uint8_t, 6>& to, const std::array<std::uint8_t, 6>& from,
                                      std::uint32_t source, std::uint32_t destination, std::size_t ipLength, bool tagged)
{
    std::vector<std::uint8_t> ip = makePacket(source, destination, 9, 9, ipLength);
    ip[8] = 64;  // time to live
    ip[9] = 17;  // UDP
    ip[24] = 0;  // UDP length
    ip[25] = std::uint8_t(ipLength - 20);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum += std::uint32_t(ip[i] << 8 | ip[i + 1]);
    sum = (sum & 0xffff) + (sum >> 16);
    ip[10] = std::uint8_t(~sum >> 8);
    ip[11] = std::uint8_t(~sum);
    std::vector<std::uint8_t> frame(to.begin(), to.end());
    frame.insert(frame.end(), from.begin(), from.end());
    if (tagged)
        frame.insert(frame.end(), {0x81, 0x00, 0x00, 10});
    frame.insert(frame.end(), {0x08, 0x00});
    frame.insert(frame.end(), ip.begin(), ip.end());
    frame.resize(std::max<std::size_t>(frame.size(), tagged ? 64 : 60), 0);
    return frame;
}

class OwnTrafficTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!canUseNamespaces())
            GTEST_SKIP() << "capture tests need root (network namespaces and CAP_NET_RAW)";
        ASSERT_TRUE(makeNearAndFar(near, far)) << "the linked namespaces near and far could not be made";
        // Default keeps the address it was made with, which the machine no longer holds.
        profiles.profiles = {makeDefaultProfile("192.0.2.77"), boundProfile("Local", "198.51.100.1")};
    }

    void TearDown() override
    {
        capture.close();
        watcher.reset();
        kernel.reset();
    }

    void start()
    {
        watcher = std::make_unique<CAddressWatcher>(&capture, 100ms);
        near->runInside([this] {
            ASSERT_TRUE(capture.open(CaptureSocket::open())) << capture.failureText();
            watcher->start("velmora-watch");
            std::string failure;
            // VELMORA_TEST_HOOKS=classic: the kernel source attached by classic tc (ctest runs
            // the table so once), as on kernels before 6.6.
            const char* hooks = std::getenv("VELMORA_TEST_HOOKS");
            const bool classic = hooks != nullptr && std::string(hooks) == "classic";
            kernel = KernelFlowCounter::load(failure, classic ? KernelHooks::ClassicTc : KernelHooks::Tcx);
            ASSERT_NE(kernel, nullptr) << failure;
        });
        ASSERT_TRUE(waitFor([&] { return !capture.countedInterfaces().empty(); }));
        const char* hooks = std::getenv("VELMORA_TEST_HOOKS");
        EXPECT_STREQ(kernel->hooksName(), hooks != nullptr && std::string(hooks) == "classic" ? "classic tc" : "tcx");
    }

    void waitForAddress(const std::string& address)
    {
        ASSERT_TRUE(waitFor([&] {
            const std::vector<IpAddress> listed = watcher->addresses();
            return std::find(listed.begin(), listed.end(), parseIpAddress(address)) != listed.end();
        }));
        const std::uint64_t passes = watcher->passes();
        ASSERT_TRUE(waitFor([&] { return watcher->passes() >= passes + 2; }));
        // The kernel source follows the same addresses.
        near->runInside([&] {
            const std::optional<MachineAddresses> listed = listMachineAddresses();
            ASSERT_TRUE(listed.has_value());
            EXPECT_TRUE(kernel->setMachineAddresses(*listed)) << kernel->lastError();
        });
    }

    // Ends both sources' counting; what they counted stays readable.
    void stop()
    {
        capture.close();
        readKernel();
    }

    void readKernel()
    {
        kernel->drain([this](const velmora_flow_key& key, const velmora_flow_count& count) {
            kernelFlows.emplace_back(key, count);
        });
    }

    // What the kernel source counted for the profile: its flows, taken by the profile as the
    // accounting takes a packet (the profile's end of the flow, then its filters).
    LinkBytes kernelCounted(std::size_t profile) const
    {
        const CProfile& taker = profiles.profiles[profile];
        LinkBytes sum;
        for (const auto& [key, count] : kernelFlows) {
            const IpAddress local = IpAddress::fromV6(key.local);
            const IpAddress remote = IpAddress::fromV6(key.remote);
            const bool overflow = key.family == 0;
            if (!taker.countsEveryAddress() && (overflow || taker.boundAddress() != local))
                continue;
            if (!overflow && (!taker.matchIpFilter(remote) || !taker.matchPortFilter(key.remotePort)))
                continue;
            (key.direction == VELMORA_RECEIVED ? sum.down : sum.up) += count.bytes;
        }
        return sum;
    }

    // What both sources counted for the profile so far.
    struct Counted {
        LinkBytes ring, kernel;
    };
    Counted countedNow(std::size_t profile)
    {
        readKernel();
        return {countedSince(profile), kernelCounted(profile)};
    }

    // The profile's totals since `before`, once the capture has handed over everything.
    LinkBytes countedSince(std::size_t profile, const LinkBytes& before = {}) const
    {
        const DayTotals sum = historyTotals(profiles.snapshot()[profile]);
        return {static_cast<unsigned long long>(sum.down) - before.down,
                static_cast<unsigned long long>(sum.up) - before.up};
    }

    // Both sources counted `expected` for the profile since `before`.
    void expectCounted(std::size_t profile, const LinkBytes& expected, const Counted& before = {}) const
    {
        const LinkBytes ring = countedSince(profile, before.ring);
        const LinkBytes kernelSum = kernelCounted(profile);
        const LinkBytes inKernel = {kernelSum.down - before.kernel.down, kernelSum.up - before.kernel.up};
        const std::string& name = profiles.profiles[profile].name;
        EXPECT_EQ(ring.down, expected.down) << name << " down, ring";
        EXPECT_EQ(ring.up, expected.up) << name << " up, ring";
        EXPECT_EQ(inKernel.down, expected.down) << name << " down, kernel";
        EXPECT_EQ(inKernel.up, expected.up) << name << " up, kernel";
    }

    static LinkBytes difference(const LinkBytes& after, const LinkBytes& before)
    {
        return {after.down - before.down, after.up - before.up};
    }

    std::unique_ptr<NetworkNamespace> near, far;
    SharedProfiles profiles;
    CTrafficMeter meter{{}, &profiles};
    CPacketCapture capture{[this](const CapturedPacket& packet) { countPacket(meter, packet); }};
    std::unique_ptr<CAddressWatcher> watcher;
    std::unique_ptr<KernelFlowCounter> kernel;
    std::vector<std::pair<velmora_flow_key, velmora_flow_count>> kernelFlows;
};

} // namespace

// Default counts every address the machine holds, whatever its file's address says; a profile
// bound to an address counts the packets at that address, in the direction they went.
TEST_F(OwnTrafficTest, DefaultCountsEveryAddressAndBoundProfilesTheirOwn)
{
    ASSERT_TRUE(near->run("ip addr add 198.51.100.11/25 dev vm0"));
    ASSERT_TRUE(addNeighbours(*near, "vm0", "198.51.100.11", *far, "vm1", "198.51.100.2"));
    profiles.profiles.push_back(boundProfile("Second", "198.51.100.11"));
    start();
    waitForAddress("198.51.100.11");
    const LinkBytes before = ipBytes(*near, "vm0");
    ASSERT_TRUE(far->run("ping -q -c 50 -i 0.002 -s 1000 -W 2 198.51.100.1"));
    ASSERT_TRUE(far->run("ping -q -c 50 -i 0.002 -s 1000 -W 2 198.51.100.11"));
    stop();
    const LinkBytes link = difference(ipBytes(*near, "vm0"), before);
    EXPECT_EQ(link.down, 100u * 1028u);
    expectCounted(0, link);
    expectCounted(1, {50 * 1028, 50 * 1028});
    expectCounted(2, {50 * 1028, 50 * 1028});
}

// A packet the machine only forwards counts for no profile; behind NAT (a host of containers
// or virtual machines), the translated packets on the uplink are the machine's own and count
// once, in their direction.
TEST_F(OwnTrafficTest, ForwardedTrafficCountsNothingAndNatCountsOnTheUplinkOnce)
{
    NetworkNamespace other("other");
    NetworkNamespace box("box");
    ASSERT_TRUE(other.isCreated() && box.isCreated());
    ASSERT_TRUE(linkNamespaces(*near, "vm2", "198.51.100.129/25", other, "vm3", "198.51.100.130/25"));
    ASSERT_TRUE(near->run("sysctl -qw net.ipv4.ip_forward=1"));
    ASSERT_TRUE(far->run("ip route add 198.51.100.128/25 via 198.51.100.1"));
    ASSERT_TRUE(other.run("ip route add 198.51.100.0/25 via 198.51.100.129"));
    // The container: a bridge holding an address, a port to `box`, masquerading on vm0.
    ASSERT_TRUE(near->run("ip link add br0 type bridge") && near->run("ip addr add 203.0.113.1/24 dev br0") &&
                near->run("ip link set br0 up"));
    ASSERT_TRUE(linkNamespaces(*near, "vm4", "203.0.113.1/24", box, "vm5", "203.0.113.2/24"));
    ASSERT_TRUE(near->run("ip addr del 203.0.113.1/24 dev vm4") && near->run("ip link set vm4 master br0"));
    const auto bridgeMac = macOf(*near, "br0");
    char macText[18];
    std::snprintf(macText, sizeof macText, "%02x:%02x:%02x:%02x:%02x:%02x", bridgeMac[0], bridgeMac[1], bridgeMac[2],
                  bridgeMac[3], bridgeMac[4], bridgeMac[5]);
    ASSERT_TRUE(box.run(std::string("ip neigh replace 203.0.113.1 lladdr ") + macText + " dev vm5 nud permanent"));
    ASSERT_TRUE(box.run("ip route add default via 203.0.113.1"));
    ASSERT_TRUE(near->run("nft add table ip nat") &&
                near->run("nft 'add chain ip nat post { type nat hook postrouting priority 100; }'") &&
                near->run("nft add rule ip nat post oifname vm0 masquerade"));
    start();
    waitForAddress("203.0.113.1");
    // The bridge's own group reports (IGMP, from its address) are the machine's traffic, but
    // not the uplink's: let them pass before the uplink is compared.
    ASSERT_TRUE(waitForQuietLink(*near, "br0"));

    const LinkBytes before = ipBytes(*near, "vm0");
    const Counted countedBefore = countedNow(0);
    ASSERT_TRUE(far->run("ping -q -c 50 -i 0.002 -s 1000 -W 2 198.51.100.130"));
    EXPECT_EQ(difference(ipBytes(*near, "vm0"), before).down, 50u * 1028u) << "the pings did pass";
    const LinkBytes afterForwarding = ipBytes(*near, "vm0");
    ASSERT_TRUE(box.run("ping -q -c 50 -i 0.002 -s 1000 -W 2 198.51.100.2"));
    stop();
    // Counted since before the forwarded pings: the translated ones on the uplink alone.
    const LinkBytes uplink = difference(ipBytes(*near, "vm0"), afterForwarding);
    EXPECT_EQ(uplink.up, 50u * 1028u);
    expectCounted(0, uplink, countedBefore);
}

// A macvlan on the card: what near sent and received is what far received and sent. Replies
// from the macvlan's address leave through the card by its route (the weak host model) and
// count there; once routed through the macvlan, its lower interface sees them again (with the
// macvlan's source address), and they still count once.
TEST_F(OwnTrafficTest, MacvlanPacketsCountOnceWhicheverWayTheyLeave)
{
    if (!near->run("ip link add link vm0 name mv0 type macvlan mode bridge"))
        GTEST_SKIP() << "no macvlan support in this kernel";
    ASSERT_TRUE(near->run("ip addr add 198.51.100.21/25 dev mv0") && near->run("ip link set mv0 up"));
    ASSERT_TRUE(addNeighbours(*near, "mv0", "198.51.100.21", *far, "vm1", "198.51.100.2"));
    start();
    waitForAddress("198.51.100.21");
    // far's counters the other way round: what near sent, and what it received.
    const auto nearTraffic = [&] {
        const LinkBytes farSide = ipBytes(*far, "vm1");
        return LinkBytes{farSide.up, farSide.down};
    };
    const LinkBytes before = nearTraffic();
    ASSERT_TRUE(far->run("ping -q -c 50 -i 0.002 -s 1000 -W 2 198.51.100.21")); // replies leave vm0
    ASSERT_TRUE(near->run("ip route add 198.51.100.2/32 dev mv0 src 198.51.100.21"));
    const std::uint64_t throughMacvlan = near->counter("mv0", "tx_packets");
    ASSERT_TRUE(far->run("ping -q -c 50 -i 0.002 -s 1000 -W 2 198.51.100.21")); // replies leave mv0
    EXPECT_GE(near->counter("mv0", "tx_packets"), throughMacvlan + 50);
    stop();
    const LinkBytes exchanged = difference(nearTraffic(), before);
    EXPECT_EQ(exchanged.down, 100u * 1028u);
    EXPECT_EQ(exchanged.up, 100u * 1028u);
    expectCounted(0, exchanged);
}

// Short frames padded to 60 bytes count the IP length, not the frame's; the same frames with
// a VLAN tag (no VLAN interface here: the kernel keeps the tag in the packet's metadata, as on
// a VLAN's parent) are not counted at all.
TEST_F(OwnTrafficTest, PaddedFramesCountTheirIpLengthAndTaggedCopiesNothing)
{
    start();
    waitForAddress("198.51.100.1");
    const int sink = socketInside(*near, SOCK_DGRAM, "198.51.100.1", 9); // no ICMP answers
    ASSERT_GE(sink, 0);
    const auto nearMac = macOf(*near, "vm0");
    const auto farMac = macOf(*far, "vm1");
    const unsigned long long received = near->counter("vm0", "rx_packets");
    int sent = 0;
    far->runInside([&] {
        const int raw = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        ASSERT_GE(raw, 0);
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_ifindex = int(if_nametoindex("vm1"));
        link.sll_halen = 6;
        std::copy(nearMac.begin(), nearMac.end(), link.sll_addr);
        for (bool tagged : {false, true})
            for (std::size_t length : {40, 28})
                for (int copy = 0; copy < 10; ++copy) {
                    const auto frame = paddedFrame(nearMac, farMac, ipv4(198, 51, 100, 2), ipv4(198, 51, 100, 1),
                                                   length, tagged);
                    sent += ::sendto(raw, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&link),
                                     sizeof link) == ssize_t(frame.size());
                }
        ::close(raw);
    });
    ASSERT_EQ(sent, 40);
    ASSERT_TRUE(waitFor([&] { return near->counter("vm0", "rx_packets") >= received + 40; }));
    stop();
    ::close(sink);
    expectCounted(0, {10 * 40, 0});
}

// The machine's address changes while Velmora runs: from the watcher's next pass on, the
// packets at the new address count in their direction, for Default.
TEST_F(OwnTrafficTest, AnAddressChangedWhileCountingCountsInItsDirection)
{
    start();
    waitForAddress("198.51.100.1");
    ASSERT_TRUE(near->run("ip addr del 198.51.100.1/25 dev vm0") && near->run("ip addr add 198.51.100.31/25 dev vm0"));
    ASSERT_TRUE(addNeighbours(*near, "vm0", "198.51.100.31", *far, "vm1", "198.51.100.2"));
    waitForAddress("198.51.100.31");
    const LinkBytes before = ipBytes(*near, "vm0");
    ASSERT_TRUE(far->run("ping -q -c 50 -i 0.002 -s 1000 -W 2 198.51.100.31"));
    stop();
    const LinkBytes link = difference(ipBytes(*near, "vm0"), before);
    EXPECT_EQ(link.down, 50u * 1028u);
    expectCounted(0, link);
    expectCounted(1, {0, 0}); // Local's address is gone
}

namespace {

// nftables counters at the prerouting hook of `side`: the IP bytes its kernel received, packet
// by packet as the wire carried them (the output hook sees TCP's segmentation buffers whole,
// so what a machine sent is counted where its peer receives it). Each: a name and its match.
bool addCounters(const NetworkNamespace& side, const std::vector<std::pair<std::string, std::string>>& counters)
{
    bool made = side.run("nft add table inet reference") &&
                side.run("nft 'add chain inet reference pre { type filter hook prerouting priority 0; }'");
    for (const auto& [name, match] : counters)
        made = made && side.run("nft add counter inet reference " + name) &&
               side.run("nft add rule inet reference pre " + match + " counter name " + name);
    return made;
}

unsigned long long counterBytes(const NetworkNamespace& side, const std::string& name)
{
    const std::string text = side.output("nft list counter inet reference " + name);
    const std::size_t at = text.find("bytes ");
    return at == std::string::npos ? ~0ull : std::strtoull(text.c_str() + at + 6, nullptr, 10);
}

} // namespace

// A dual-stack link: ICMPv6, TCP and UDP over IPv6 beside IPv4. Default counts the interface's
// IP bytes both ways; a profile bound to the IPv6 address with an IPv6 prefix filter, and one
// with a port filter, count exactly what the kernel's own counters give for their share.
TEST_F(OwnTrafficTest, DualStackCountsIpv6BesideIpv4)
{
    ASSERT_TRUE(linkIpv6(*near, "vm0", "2001:db8::1/64", *far, "vm1", "2001:db8::2/64"));
    // No offloads: the interface counters then count wire packets.
    ASSERT_TRUE(near->run("ethtool -K vm0 tso off gso off gro off") && far->run("ethtool -K vm1 tso off gso off gro off"));
    CProfile v6 = boundProfile("V6", "2001:db8::1");
    v6.ipFilter.clear();
    v6.addIpFilter("2001:db8::/32", true);
    CProfile port = boundProfile("Port", "2001:db8::1");
    port.portFilter.clear();
    port.addPortFilter(true, 5000);
    profiles.profiles.push_back(v6);
    profiles.profiles.push_back(port);
    ASSERT_TRUE(addCounters(*near, {{"v6in", "ip6 daddr 2001:db8::1"}, {"portin", "ip6 daddr 2001:db8::1 tcp sport 5000"}}));
    ASSERT_TRUE(addCounters(*far, {{"v6out", "ip6 saddr 2001:db8::1"}, {"portout", "ip6 saddr 2001:db8::1 tcp dport 5000"}}));
    start();
    waitForAddress("2001:db8::1");
    // The multicast listener reports that follow the new addresses leave from the unspecified
    // address, which is no address of the machine: let them pass before the counters are read.
    ASSERT_TRUE(waitForQuietLink(*near, "vm0"));
    std::this_thread::sleep_for(100ms); // the capture has handed over what came before
    const LinkBytes before = ipBytes(*near, "vm0");
    const Counted countedBefore = countedNow(0);
    const auto v6Bytes = [&] { return LinkBytes{counterBytes(*near, "v6in"), counterBytes(*far, "v6out")}; };
    const auto portBytes = [&] { return LinkBytes{counterBytes(*near, "portin"), counterBytes(*far, "portout")}; };
    const LinkBytes v6Before = v6Bytes();
    const LinkBytes portBefore = portBytes();

    ASSERT_TRUE(far->run("ping -q -6 -c 20 -i 0.01 -s 1000 -W 2 2001:db8::1"));
    ASSERT_TRUE(near->run("ping -q -c 20 -i 0.01 -s 500 -W 2 198.51.100.2"));
    ASSERT_TRUE(far->run("sh -c 'timeout 20 nc -6 -l 2001:db8::2 5000 >/dev/null & sleep 0.3'"));
    ASSERT_TRUE(near->run("sh -c 'for i in 1 2 3 4 5 6 7 8 9 10; do head -c 3000000 /dev/zero | "
                          "timeout 20 nc -6 -N 2001:db8::2 5000 && exit 0; sleep 0.2; done; exit 1'"));
    ASSERT_TRUE(near->run("sh -c 'head -c 1200 /dev/zero | nc -6 -u -w1 2001:db8::2 9'"));
    stop();

    const LinkBytes link = difference(ipBytes(*near, "vm0"), before);
    EXPECT_GT(link.up, 3000000u);
    expectCounted(0, link, countedBefore);
    expectCounted(2, difference(v6Bytes(), v6Before));
    expectCounted(3, difference(portBytes(), portBefore));
}
