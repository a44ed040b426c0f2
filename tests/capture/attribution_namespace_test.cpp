// Which program sent and received what, on real traffic: three programs, each in a cgroup of its
// own under a parent the test makes, talk to namespace `far` while `far` pings `near`, which
// answers from the kernel. The kernel source's flows carry each packet's cgroup; nftables in
// `near` counts what each cgroup's sockets sent and received (`socket cgroupv2`), and the
// pings are the only traffic no socket of `near` sent or took.

#include "capture/kernel_flow_counter.h"
#include "capture/kernel_flow_key.h"
#include "support/network_namespace.h"
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

// The cgroup v2 hierarchy's mount point, from the mount table.
std::string cgroupRoot()
{
    std::ifstream mounts("/proc/self/mounts");
    std::string device, point, type, rest;
    while (mounts >> device >> point >> type && std::getline(mounts, rest))
        if (type == "cgroup2")
            return point;
    return {};
}

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
        root = cgroupRoot();
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

    std::map<std::uint64_t, LinkBytes> counted;
    LinkBytes everything;
    kernel->drain([&](const velmora_flow_key& entry, const velmora_flow_count& count) {
        const FlowKey key = flowKeyOf(entry);
        const bool down = key.direction == PacketWay::Received;
        (down ? counted[key.cgroup].down : counted[key.cgroup].up) += count.bytes;
        (down ? everything.down : everything.up) += count.bytes;
    });
    const LinkBytes link = ipBytes(*near, "vm0");

    std::ostringstream table;
    table << "program     counted down/up    reference down/up\n";
    LinkBytes programs;
    for (const Program& program : kPrograms) {
        const LinkBytes mine = counted[cgroups->id(program.name)];
        const LinkBytes reference{nftBytes(*near, program.name), nftBytes(*far, program.name)};
        table << program.name << "  " << mine.down << "/" << mine.up << "  " << reference.down << "/" << reference.up
              << "\n";
        EXPECT_EQ(mine.down, reference.down) << program.name;
        EXPECT_EQ(mine.up, reference.up) << program.name;
        EXPECT_GT(mine.down, 0u) << program.name;
        programs.down += mine.down;
        programs.up += mine.up;
    }
    const LinkBytes system = counted[0];
    const unsigned long long pingBytes = kPings * (kPingPayload + 28ull);
    table << "System  " << system.down << "/" << system.up << "  " << pingBytes << "/" << pingBytes << "\n";
    std::printf("%s", table.str().c_str());
    EXPECT_EQ(system.down, pingBytes);
    EXPECT_EQ(system.up, pingBytes);
    EXPECT_EQ(programs.down + system.down, link.down);
    EXPECT_EQ(programs.up + system.up, link.up);
    EXPECT_EQ(everything.down, link.down);
    EXPECT_EQ(everything.up, link.up);
}
