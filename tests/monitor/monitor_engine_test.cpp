// The engine with no window and no event loop: started, counting real traffic in a network
// namespace, saving and stopping; and the saves it makes on its own or fails to make.
#include "monitor/monitor_engine.h"

#include "capture/network_namespace.h"
#include "capture/packet_builder.h"
#include "profile/profile_files_support.h"
#include "profile/profile_store.h"
#include "wait_for.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr unsigned long long kEthernetHeader = 14; // veth counts frames with their MAC header

DayTotals linkIpBytes(const NetworkNamespace& side, const std::string& interface)
{
    const auto counter = [&](const char* name) { return double(side.counter(interface, name)); };
    return {counter("rx_bytes") - kEthernetHeader * counter("rx_packets"),
            counter("tx_bytes") - kEthernetHeader * counter("tx_packets")};
}

// What the profile files in `directory` hold for `name`, as a later run would read them.
DayTotals savedTotals(const std::filesystem::path& directory, const std::string& name)
{
    ProfileList loaded;
    loadAllProfiles(loaded, directory, "");
    for (const CProfile& profile : loaded)
        if (profile.name == name)
            return historyTotals(profile);
    return {-1, -1};
}

DayTotals totalsInMemory(CMonitorEngine& engine, const std::string& name)
{
    for (const CProfile& profile : engine.profiles().snapshot())
        if (profile.name == name)
            return historyTotals(profile);
    return {-1, -1};
}

// A UDP socket made inside `side`, bound to port 9 (so datagrams to it draw no ICMP answer)
// and sending to port 9 of `to`; it keeps that namespace for life.
class Sender {
public:
    Sender(const NetworkNamespace& side, const std::string& to)
    {
        side.runInside([&] {
            handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_port = htons(9);
            ::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        });
        target.sin_family = AF_INET;
        target.sin_port = htons(9);
        inet_pton(AF_INET, to.c_str(), &target.sin_addr);
    }
    ~Sender() { ::close(handle); }
    bool send(std::size_t size) const
    {
        const std::vector<std::uint8_t> payload(size, 0x5a);
        return ::sendto(handle, payload.data(), size, 0, reinterpret_cast<const sockaddr*>(&target),
                        sizeof target) == ssize_t(size);
    }

private:
    int handle = -1;
    sockaddr_in target{};
};

class EngineNamespaceTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!canUseNamespaces())
            GTEST_SKIP() << "the engine's capture needs root (network namespaces and CAP_NET_RAW)";
        removeAbandonedNamespaces();
        near = std::make_unique<NetworkNamespace>("enear");
        far = std::make_unique<NetworkNamespace>("efar");
        ASSERT_TRUE(near->isCreated() && far->isCreated()) << "ip netns add failed";
        ASSERT_TRUE(linkNamespaces(*near, "em0", "203.0.113.1/25", *far, "em1", "203.0.113.2/25"));
    }

    std::unique_ptr<NetworkNamespace> near, far;
    TempDir dir;
};

// Saved totals are written with six significant digits: the traffic here stays below 10^6
// bytes each way, so they are exact.
TEST_F(EngineNamespaceTest, SavedTotalsEqualTheTrafficAndCapturesStopBeforeTheLastSave)
{
    std::atomic<bool> meterRanDuringLastSave{false};
    CMonitorEngine* running = nullptr;
    CMonitorEngine engine({}, [&](const SaveOutcome&) { meterRanDuringLastSave = running->meter().isRunning(); });
    running = &engine;
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.saveInterval = 0ms;
    // Started inside `near`: the capture socket, the local address of Default and every thread
    // of the engine are there.
    near->runInside([&] { engine.start(options, CaptureSocket::open()); });
    ASSERT_EQ(engine.profileNames(), std::vector<std::string>{"Default"});
    ASSERT_TRUE(waitFor([&] { return !engine.profiles().snapshot().empty(); }));

    const Sender toNear(*far, "203.0.113.1");
    const Sender toFar(*near, "203.0.113.2");
    // The watcher's first pass opens the capture; until then a datagram may go unseen.
    ASSERT_TRUE(waitFor([&] {
        toNear.send(100);
        return totalsInMemory(engine, "Default").down > 0;
    }));
    std::this_thread::sleep_for(200ms); // the last probes reach the totals (blocks retire in 50 ms)
    const DayTotals before = linkIpBytes(*near, "em0");
    const DayTotals countedBefore = totalsInMemory(engine, "Default");
    for (std::size_t size : {1, 100, 1472, 3000})
        for (int copy = 0; copy < 5; ++copy)
            ASSERT_TRUE(toNear.send(size) && toFar.send(size / 2 + 1));
    const DayTotals sent = {linkIpBytes(*near, "em0").down - before.down, linkIpBytes(*near, "em0").up - before.up};
    ASSERT_TRUE(waitFor([&] {
        const DayTotals now = totalsInMemory(engine, "Default");
        return now.down - countedBefore.down >= sent.down && now.up - countedBefore.up >= sent.up;
    }));
    const SaveOutcome outcome = engine.save();
    EXPECT_TRUE(outcome.saved);
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_TRUE(meterRanDuringLastSave.load());
    const DayTotals saved = savedTotals(options.profileDirectory, "Default");
    EXPECT_EQ(saved.down - countedBefore.down, sent.down);
    EXPECT_EQ(saved.up - countedBefore.up, sent.up);

    // Stopped while datagrams keep arriving: the last save holds everything counted, since
    // the captures end before it copies the totals.
    std::atomic<bool> sending{true};
    std::thread flow([&] {
        for (int i = 0; i < 10000 && sending.load(); ++i) { // at most 290,000 bytes
            toNear.send(1);
            std::this_thread::sleep_for(20us);
        }
    });
    std::this_thread::sleep_for(150ms); // the capture hands over a block at least every 50 ms
    const SaveOutcome last = engine.stop();
    std::this_thread::sleep_for(20ms);
    const DayTotals afterStop = totalsInMemory(engine, "Default");
    sending = false;
    flow.join();
    EXPECT_TRUE(last.saved);
    EXPECT_FALSE(meterRanDuringLastSave.load()) << "the workers stop before the last save";
    EXPECT_GT(afterStop.down, saved.down) << "the flow was counted until the stop";
    EXPECT_EQ(savedTotals(options.profileDirectory, "Default").down, afterStop.down);
    EXPECT_EQ(savedTotals(options.profileDirectory, "Default").up, afterStop.up);
    EXPECT_TRUE(engine.stop().saved) << "a second stop does nothing";
}

// The capture hands the engine each packet's offload header: a UDP segmentation offload send,
// one 5038-byte packet on the veth link, counts as the six datagrams the wire carries.
TEST_F(EngineNamespaceTest, AnOffloadedSendCountsAsItsWirePackets)
{
    CMonitorEngine engine;
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.saveInterval = 0ms;
    near->runInside([&] { engine.start(options, CaptureSocket::open()); });
    const Sender toNear(*far, "203.0.113.1"); // also holds port 9 in far: no ICMP answers
    ASSERT_TRUE(waitFor([&] {
        toNear.send(100);
        return totalsInMemory(engine, "Default").down > 0;
    }));
    std::this_thread::sleep_for(200ms);
    const DayTotals countedBefore = totalsInMemory(engine, "Default");
    const DayTotals linkBefore = linkIpBytes(*near, "em0");

    int handle = -1;
    near->runInside([&] { handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); });
    const int segment = 1000; // UDP_SEGMENT (linux/udp.h): the datagrams' payload size
    ASSERT_EQ(setsockopt(handle, IPPROTO_UDP, 103, &segment, sizeof segment), 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(9);
    inet_pton(AF_INET, "203.0.113.2", &target.sin_addr);
    const std::vector<std::uint8_t> payload(5010, 0x5a);
    ASSERT_EQ(::sendto(handle, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target), 5010);
    ::close(handle);

    constexpr double kWireBytes = 6 * 28 + 5010; // five datagrams of 1000 bytes, one of 10
    EXPECT_EQ(linkIpBytes(*near, "em0").up - linkBefore.up, 28 + 5010) << "veth carried one super-packet";
    EXPECT_TRUE(waitFor([&] { return totalsInMemory(engine, "Default").up - countedBefore.up >= kWireBytes; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(totalsInMemory(engine, "Default").up - countedBefore.up, kWireBytes);
    engine.stop();
}

} // namespace

// Without workers nothing is captured; the engine still loads, saves on its own and reports.
TEST(Engine, SavesEveryIntervalAndReportsTheFileAndReasonOfAFailure)
{
    TempDir dir;
    std::atomic<int> saves{0};
    std::vector<SaveOutcome> failed;
    std::mutex failedMutex;
    CMonitorEngine engine({}, [&](const SaveOutcome& outcome) {
        ++saves;
        if (!outcome.saved) {
            std::lock_guard lock(failedMutex);
            failed.push_back(outcome);
        }
    });
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.startWorkers = false;
    options.saveInterval = 20ms;
    options.exitSavePatience = 0ms;
    engine.start(options);
    {
        std::unique_lock lock(engine.profiles().guard);
        engine.profiles().profiles[0].addToDayHistory(4321, true, DayClock::system().today());
    }
    // Nothing here saves: the engine does, and tells the callback.
    const int savesBefore = saves.load();
    ASSERT_TRUE(waitFor([&] {
        return saves.load() > savesBefore && savedTotals(options.profileDirectory, "Default").down == 4321;
    }));

    // A directory where the temporary of Default.xml must go: every save of it fails.
    // A periodic save may hold that name for a moment with its own temporary: try until it stands.
    const auto blocker = options.profileDirectory / "Default.xml.tmp" / "inside";
    ASSERT_TRUE(waitFor([&] {
        std::error_code error;
        std::filesystem::create_directories(blocker, error);
        return std::filesystem::is_directory(blocker, error);
    }));
    const SaveOutcome outcome = engine.save();
    EXPECT_FALSE(outcome.saved);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].file, options.profileDirectory / "Default.xml");
    EXPECT_EQ(outcome.failures[0].reason, "File exists");
    const SaveOutcome last = engine.stop();
    EXPECT_FALSE(last.saved);
    ASSERT_EQ(last.failures.size(), 1u);
    EXPECT_EQ(last.failures[0].file, options.profileDirectory / "Default.xml");
    std::lock_guard lock(failedMutex);
    ASSERT_FALSE(failed.empty()) << "failures reach the save callback too";
    EXPECT_EQ(failed.back().failures[0].reason, "File exists");
}

TEST(Engine, SelectsTheFirstProfileOfTheWholeName)
{
    TempDir dir;
    CMonitorEngine engine;
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.startWorkers = false;
    options.saveInterval = 0ms;
    engine.start(options);
    {
        std::unique_lock lock(engine.profiles().guard);
        for (const char* name : {"Work", "Work ", "Work"}) {
            CProfile profile;
            profile.setName(name);
            engine.profiles().addProfile(profile);
        }
    }
    EXPECT_EQ(engine.profileNames(), (std::vector<std::string>{"Default", "Work", "Work ", "Work"}));
    const struct {
        const char* name;
        bool found;
        std::uint32_t selected;
    } cases[] = {{"Work ", true, 2}, {"Work", true, 1}, {"work", false, 1}, {"Wor", false, 1}, {"Default", true, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(engine.selectProfile(c.name), c.found) << c.name;
        EXPECT_EQ(engine.selectedProfile(), c.selected) << c.name;
    }
}
