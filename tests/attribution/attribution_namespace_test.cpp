// Which program sent and received what, on real traffic: three programs, each in a cgroup of its
// own under a parent the test makes, talk to namespace `far` while `far` pings `near`, which
// answers from the kernel. The kernel source's flows carry each packet's cgroup and interface;
// the meter accounts them for the profiles, their names come from the cgroup tree, and they
// go through usage.sqlite as the day totals of applications and interfaces. The
// references: nftables counts what each cgroup's sockets received (`socket cgroupv2`) and
// what each program's port sent, and the pings are the only traffic no socket took or sent.

#include "accounting/traffic_meter.h"
#include "attribution/attribution_names.h"
#include "capture/kernel_flow_counter.h"
#include "capture/kernel_source.h"
#include "monitor/usage_attribution.h"
#include "profile/profile_store.h"
#include "support/network_namespace.h"
#include "support/packet_builder.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

// The programs, each with the port it uses on its side.
struct Program {
    const char* name;
    const char* protocol;
    int port;
};
constexpr Program kPrograms[] = {{"uploader", "tcp", 4001}, {"downloader", "tcp", 4002}, {"listener", "udp", 5003}};
constexpr int kPings = 20;
constexpr int kPingPayload = 500;
constexpr int kDatagrams = 40;
constexpr int kDatagramPayload = 1000;

std::uint64_t inodeOf(const std::string& path)
{
    struct stat status{};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// A parent cgroup with one child per program, removed with the processes left in it.
class TestCgroups {
public:
    explicit TestCgroups(const std::string& root)
        : parent("velmora-test-" + std::to_string(::getpid())), parentPath(root + "/" + parent)
    {
        std::error_code error;
        for (const Program& program : kPrograms)
            std::filesystem::create_directories(parentPath + "/" + program.name, error);
    }
    ~TestCgroups()
    {
        for (const Program& program : kPrograms) {
            const std::string path = parentPath + "/" + program.name;
            std::ofstream(path + "/cgroup.kill") << "1";
            waitFor([&] { return commandOutput("cat " + path + "/cgroup.procs").empty(); });
            ::rmdir(path.c_str());
        }
        ::rmdir(parentPath.c_str());
    }
    std::string path(const std::string& program) const { return parentPath + "/" + program; }
    std::uint64_t id(const std::string& program) const { return inodeOf(path(program)); }

    const std::string parent;
    const std::string parentPath;
};

// Bytes a named nftables counter holds.
unsigned long long nftBytes(const NetworkNamespace& side, const std::string& counter)
{
    const std::string text = side.output("nft list counter inet velmora_test " + counter);
    const std::size_t at = text.find("bytes ");
    return at == std::string::npos ? ~0ull : std::stoull(text.substr(at + 6));
}

class AttributionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!canUseNamespaces())
            GTEST_SKIP() << "attribution tests need root (network namespaces, cgroups, BPF)";
        root = findCgroupRoot();
        if (root.empty())
            GTEST_SKIP() << "no cgroup v2 hierarchy is mounted";
        ASSERT_TRUE(makeNearAndFar(near, far));
        // One IP packet a frame, as nftables sees them: the programs count wire packets.
        ASSERT_TRUE(near->run("ethtool -K vm0 tso off gso off gro off") && far->run("ethtool -K vm1 tso off gso off gro off"));
        cgroups = std::make_unique<TestCgroups>(root);
        ASSERT_NE(cgroups->id("listener"), 0u);
        ASSERT_TRUE(writeReferenceRules());
        near->runInside([&] {
            std::string failure;
            kernel = KernelFlowCounter::load(failure);
            ASSERT_NE(kernel, nullptr) << failure;
            const std::optional<MachineAddresses> listed = listMachineAddresses();
            ASSERT_TRUE(listed.has_value());
            ASSERT_TRUE(kernel->setMachineAddresses(*listed)) << kernel->lastError();
        });
    }

    void TearDown() override
    {
        kernel.reset();
        cgroups.reset();
    }

    // What each program received: counters of `near` by the socket nftables finds for each
    // packet (`socket cgroupv2`; nft names cgroups below /sys/fs/cgroup, so inside `ip netns
    // exec`, which mounts a sysfs of its own, the hierarchy is mounted there first). What each
    // sent: counters of `far` by the program's port, as the packets arrived there (TCP hands
    // `near`'s output hook unsegmented packets; `far` receives the wire's).
    bool writeReferenceRules() const
    {
        std::ostringstream received, sent;
        received << "table inet velmora_test {\n";
        sent << "table inet velmora_test {\n";
        for (const Program& program : kPrograms) {
            received << "  counter " << program.name << " {}\n";
            sent << "  counter " << program.name << " {}\n";
        }
        received << "  chain in {\n    type filter hook input priority 0;\n";
        sent << "  chain in {\n    type filter hook input priority 0;\n";
        for (const Program& program : kPrograms) {
            received << "    socket cgroupv2 level 2 \"" << cgroups->parent << "/" << program.name << "\" counter name "
                     << program.name << "\n";
            sent << "    ip saddr 198.51.100.1 " << program.protocol << " sport " << program.port << " counter name "
                 << program.name << "\n";
        }
        received << "  }\n}\n";
        sent << "  }\n}\n";
        const std::string file = "/tmp/" + cgroups->parent + ".nft";
        std::ofstream(file) << received.str();
        bool loaded = near->run("sh -c 'mount -t cgroup2 none /sys/fs/cgroup && nft -f " + file + "'");
        std::ofstream(file) << sent.str();
        loaded = loaded && far->run("nft -f " + file);
        std::remove(file.c_str());
        return loaded;
    }

    // Runs `command` in `near` as a program of the cgroup: the shell moves itself in first
    // (outside `ip netns exec`, whose sysfs has no cgroups), so everything it starts belongs
    // there.
    bool runAs(const std::string& program, const std::string& command) const
    {
        return runCommand("sh -c 'echo $$ > " + cgroups->path(program) + "/cgroup.procs && exec ip netns exec " +
                          near->name() + " sh -c \"" + command + "\"'");
    }

    bool listening(const NetworkNamespace& side, const std::string& options, int port) const
    {
        return side.output("ss -Hn " + options + " sport = :" + std::to_string(port)).find(std::to_string(port)) !=
               std::string::npos;
    }

    std::string root;
    std::unique_ptr<NetworkNamespace> near, far;
    std::unique_ptr<TestCgroups> cgroups;
    std::unique_ptr<KernelFlowCounter> kernel;
};

} // namespace

// Each program's bytes are what its sockets sent and received, the kernel's ping answers are
// the system's, and together they are everything the interface carried.
TEST_F(AttributionTest, EachProgramCountsItsOwnSocketsAndTheKernelsAnswersAreTheSystems)
{
    // far: a sink for the upload and a source for the download.
    ASSERT_TRUE(far->run("sh -c 'nc -l -p 5001 > /dev/null &'"));
    ASSERT_TRUE(far->run("sh -c 'head -c 200000 /dev/zero | nc -N -l -p 5002 &'"));
    ASSERT_TRUE(waitFor([&] { return listening(*far, "-lt", 5001) && listening(*far, "-lt", 5002); }));
    // near: a UDP listener that only receives.
    ASSERT_TRUE(runAs("listener", "nc -d -u -l -p 5003 > /dev/null &"));
    ASSERT_TRUE(waitFor([&] { return listening(*near, "-lu", 5003); }));

    ASSERT_TRUE(runAs("uploader", "head -c 300000 /dev/zero | nc -N -p 4001 198.51.100.2 5001"));
    ASSERT_TRUE(runAs("downloader", "nc -d -p 4002 198.51.100.2 5002 > /dev/null"));
    const int sender = socketInside(*far, SOCK_DGRAM, "198.51.100.2", 0);
    ASSERT_GE(sender, 0);
    const sockaddr_in listener = socketAddress("198.51.100.1", 5003);
    const std::vector<char> payload(kDatagramPayload, 'x');
    for (int i = 0; i < kDatagrams; ++i)
        ::sendto(sender, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&listener),
                 sizeof listener);
    ::close(sender);
    ASSERT_TRUE(far->run("ping -q -c " + std::to_string(kPings) + " -i 0.01 -s " + std::to_string(kPingPayload) +
                         " -W 2 198.51.100.1"));
    ASSERT_TRUE(waitFor([&] { return nftBytes(*near, "listener") >= kDatagrams * (kDatagramPayload + 28ull); }));

    // Default and a profile of the uploads only (remote port 5001), as the engine accounts
    // the kernel's flows.
    SharedProfiles profiles;
    CProfile uploads = makeDefaultProfile("198.51.100.1");
    uploads.setName("Uploads");
    uploads.portFilter.clear();
    uploads.addPortFilter(true, 5001);
    profiles.profiles = {makeDefaultProfile("198.51.100.1"), uploads};
    CTrafficMeter meter{{}, &profiles};
    UsageAttribution attribution(AttributionNames(root, ApplicationNamer(std::vector<std::string>{})));
    meter.setAttributedTotals(&attribution.totals());
    kernel->drain([&](const velmora_flow_key& key, const velmora_flow_count& count) {
        meter.countFlow(flowKeyOf(key), flowCountOf(count));
    });
    const LinkBytes link = ipBytes(*near, "vm0");

    // Named inside `near` (its interfaces), written to a usage database and read back from it.
    TempDir data;
    UsageDatabase usage;
    ASSERT_TRUE(usage.open(data / kUsageDatabaseName)) << usage.lastError();
    UsageBatch batch;
    near->runInside([&] { attribution.addTo(batch); });
    ASSERT_TRUE(usage.save(batch)) << usage.lastError();
    attribution.saved(true);
    const LocalDate today = DayClock::system().today();
    std::map<std::string, std::map<std::string, LinkBytes>> byApplication, byInterface; // by profile
    for (const CProfile& profile : profiles.snapshot()) {
        for (const NamedTotals& row : usage.applicationTotals(profile.name, today, today))
            byApplication[profile.name][row.name] = {row.down, row.up};
        for (const NamedTotals& row : usage.interfaceTotals(profile.name, today, today))
            byInterface[profile.name][row.name] = {row.down, row.up};
    }

    std::ostringstream table;
    table << "application                  counted down/up   reference down/up\n";
    std::map<std::string, LinkBytes>& defaults = byApplication["Default"];
    for (const Program& program : kPrograms) {
        const std::string name = "/" + cgroups->parent + "/" + program.name;
        const LinkBytes mine = defaults[name];
        const LinkBytes reference{nftBytes(*near, program.name), nftBytes(*far, program.name)};
        table << name << "  " << mine.down << "/" << mine.up << "  " << reference.down << "/" << reference.up << "\n";
        EXPECT_EQ(mine.down, reference.down) << name;
        EXPECT_EQ(mine.up, reference.up) << name;
        EXPECT_GT(mine.down, 0u) << name;
    }
    const unsigned long long pingBytes = kPings * (kPingPayload + 28ull);
    const LinkBytes system = defaults["System"];
    table << "System  " << system.down << "/" << system.up << "  " << pingBytes << "/" << pingBytes << "\n";
    std::printf("%s", table.str().c_str());
    EXPECT_EQ(system.down, pingBytes);
    EXPECT_EQ(system.up, pingBytes);
    EXPECT_EQ(defaults.size(), std::size(kPrograms) + 1);
    EXPECT_EQ(byInterface["Default"].size(), 1u);
    EXPECT_EQ(byInterface["Default"].count("vm0"), 1u);

    // For each profile the applications, and the interfaces, add up to its total; Default's
    // is everything the interface carried.
    const std::vector<CProfile> counted = profiles.snapshot();
    for (const CProfile& profile : counted) {
        const DayTotals total = historyTotals(profile);
        for (const auto* rows : {&byApplication[profile.name], &byInterface[profile.name]}) {
            LinkBytes sum;
            for (const auto& [name, bytes] : *rows) {
                sum.down += bytes.down;
                sum.up += bytes.up;
            }
            EXPECT_EQ(sum.down, static_cast<unsigned long long>(total.down)) << profile.name;
            EXPECT_EQ(sum.up, static_cast<unsigned long long>(total.up)) << profile.name;
        }
    }
    EXPECT_EQ(static_cast<unsigned long long>(historyTotals(counted[0]).down), link.down);
    EXPECT_EQ(static_cast<unsigned long long>(historyTotals(counted[0]).up), link.up);
    EXPECT_EQ(byApplication["Uploads"].size(), 1u); // the uploader's connection only
    EXPECT_EQ(byApplication["Uploads"].count("/" + cgroups->parent + "/uploader"), 1u);
}
