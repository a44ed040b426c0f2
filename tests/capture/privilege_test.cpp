// Giving up privilege: after dropAllCapabilities() the process holds no capability and cannot
// open a packet socket, while a socket opened before keeps working. Run in a child process,
// since the drop cannot be undone. The kernel source's programs: refused without privilege,
// following interfaces made later, and attached only as long as the program lives.

#include "capture/capture_socket.h"
#include "capture/kernel_flow_counter.h"
#include "capture/kernel_source.h"
#include "capture/net_socket.h"
#include "capture/privilege.h"
#include "support/network_namespace.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <bpf/bpf.h>
#include <bpf/libbpf.h>
#include <net/if.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The capability lines of /proc/self/status whose value is not all zero.
std::string heldCapabilities()
{
    std::ifstream status("/proc/self/status");
    std::string held;
    for (std::string line; std::getline(status, line);)
        for (const char* name : {"CapInh:", "CapPrm:", "CapEff:", "CapAmb:"})
            if (line.rfind(name, 0) == 0 && line.find_first_not_of("0\t ", std::string(name).size()) != std::string::npos)
                held += line + "\n";
    return held;
}

TEST(Privilege, DroppingLeavesNoCapabilityAndTheSocketOpenedBefore)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs a capability to drop (root)";
    ASSERT_NE(heldCapabilities(), "") << "nothing to drop: the test would prove nothing";
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        CaptureSocket opened = CaptureSocket::open();
        std::string failure;
        std::string report = dropAllCapabilities(&failure) ? "" : "drop failed: " + failure + "\n";
        report += heldCapabilities();
        if (CaptureSocket::open().isOpen())
            report += "a packet socket opened after the drop\n";
        std::unique_ptr<CNetSocket> socket = opened.release();
        if (socket == nullptr || !socket->setOption(SOL_SOCKET, SO_RCVBUF, 1 << 16))
            report += "the socket opened before the drop is unusable\n";
        if (write(channel[1], report.data(), report.size()) < 0)
            _exit(2);
        _exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char chunk[256];
    for (ssize_t n; (n = read(channel[0], chunk, sizeof chunk)) > 0;)
        report.append(chunk, std::size_t(n));
    ::close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report, "");
}

// Runs `body` in a child process and returns what it wrote to the pipe it is given.
std::string inChild(const std::function<void(int)>& body, pid_t* running = nullptr)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        ::close(channel[0]);
        body(channel[1]);
        _exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char chunk[256];
    for (ssize_t n; (n = read(channel[0], chunk, sizeof chunk)) > 0;) {
        report.append(chunk, std::size_t(n));
        if (running != nullptr && report.back() == '\n')
            break; // the child goes on running
    }
    ::close(channel[0]);
    if (running != nullptr)
        *running = child;
    else
        waitpid(child, nullptr, 0);
    return report;
}

void say(int channel, const std::string& text)
{
    if (write(channel, text.data(), text.size()) < 0)
        _exit(2);
}

TEST(Privilege, KernelProgramsAreRefusedWithoutCapabilities)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs a capability to drop (root)";
    const std::string report = inChild([](int channel) {
        std::string failure;
        if (!dropAllCapabilities(&failure))
            say(channel, "drop failed: " + failure);
        else if (KernelFlowCounter::load(failure) != nullptr)
            say(channel, "loaded without privilege");
        else
            say(channel, failure);
    });
    EXPECT_NE(report.find("Operation not permitted"), std::string::npos) << report;
}

// The programs live in the helper the program forks at start (kernel_source.h): they count on
// an interface made after the program gave up every capability, and they end with the program
// however it ends: nothing of ours stays attached after kill -9 nor after a normal end.
// Both ways of attaching: tcx links, and classic tc filters (Linux before 6.6), which the helper
// removes itself when the program dies.
class KernelHooksTest : public ::testing::TestWithParam<KernelHooks> {};

TEST_P(KernelHooksTest, KernelProgramsFollowNewInterfacesAndDetachWhenTheProgramEnds)
{
    if (!canUseNamespaces())
        GTEST_SKIP() << "needs root (network namespaces, BPF)";
    const KernelHooks hooks = GetParam();
    removeAbandonedNamespaces();
    const NetworkNamespace side("bpfkill"), far("bpffar");
    ASSERT_TRUE(side.isCreated() && far.isCreated());
    ASSERT_TRUE(side.run("ip link add d0 type veth peer name d1") && side.run("ip addr add 192.0.2.1/24 dev d0") &&
                side.run("ip link set d0 up"));
    const auto attached = [&](const char* interface) {
        std::uint32_t total = 0;
        side.runInside([&] {
            const int index = int(if_nametoindex(interface));
            for (int type : {46, 47}) { // tcx ingress, egress (linux/bpf.h of Linux 6.6)
                std::uint32_t ids[8] = {}, count = 8, flags = 0;
                if (bpf_prog_query(index, bpf_attach_type(type), 0, &flags, ids, &count) == 0)
                    total += count;
            }
            for (bpf_tc_attach_point point : {BPF_TC_INGRESS, BPF_TC_EGRESS}) { // classic tc: ours
                LIBBPF_OPTS(bpf_tc_hook, hook, .ifindex = index, .attach_point = point);
                LIBBPF_OPTS(bpf_tc_opts, filter, .handle = 0x564d, .priority = 0xc0de);
                if (bpf_tc_query(&hook, &filter) == 0)
                    ++total;
            }
        });
        return total;
    };
    // The program: the helper started, every capability given up, then waiting to be killed.
    const auto startAndWait = [hooks](int channel) {
        std::string failure;
        std::unique_ptr<KernelSource> source = KernelSource::launch(failure, hooks);
        if (source == nullptr || !dropAllCapabilities(&failure)) {
            say(channel, "not started: " + failure + "\n");
            return;
        }
        say(channel, "attached\n");
        pause();
    };
    pid_t child = -1;
    std::string report;
    side.runInside([&] { report = inChild(startAndWait, &child); });
    ASSERT_EQ(report, "attached\n");
    EXPECT_EQ(attached("d0"), 2u) << "ingress and egress";
    ::kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(waitFor([&] { return attached("d0") == 0; })) << attached("d0") << " programs left attached after kill -9";

    // This process as the program: a link made after the start counts, to the byte.
    std::unique_ptr<KernelSource> source;
    std::atomic<std::uint64_t> received{0};
    side.runInside([&] {
        std::string failure;
        source = KernelSource::launch(failure, hooks);
        ASSERT_NE(source, nullptr) << failure;
    });
    EXPECT_EQ(source->hooks(), hooks == KernelHooks::Tcx ? "tcx" : "classic tc");
    ASSERT_NE(source, nullptr);
    source->run([&](const FlowKey& key, const FlowCount& count) {
        if (key.direction == PacketWay::Received && key.local == *parseIpAddress("203.0.113.1"))
            received += count.bytes;
    });
    ASSERT_TRUE(linkNamespaces(side, "late0", "203.0.113.1/24", far, "late1", "203.0.113.2/24"));
    ASSERT_TRUE(waitFor([&] { return attached("late0") == 2; })) << "the new interface was not followed";
    const LinkBytes before = ipBytes(side, "late0");
    ASSERT_TRUE(far.run("ping -q -c 20 -i 0.01 -s 500 -W 2 203.0.113.1"));
    ASSERT_TRUE(source->drainNow());
    EXPECT_EQ(received.load(), ipBytes(side, "late0").down - before.down);
    EXPECT_EQ(received.load(), 20u * 528u);
    // A normal end: the helper is gone, and its programs with it, when close() returns.
    source->close();
    EXPECT_EQ(attached("d0") + attached("late0"), 0u) << "left attached after a normal end";
}

INSTANTIATE_TEST_SUITE_P(Privilege, KernelHooksTest, ::testing::Values(KernelHooks::Tcx, KernelHooks::ClassicTc),
                         [](const auto& info) { return info.param == KernelHooks::Tcx ? "Tcx" : "ClassicTc"; });

} // namespace
