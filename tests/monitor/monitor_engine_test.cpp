// The engine with no window and no event loop: started, counting real traffic in a network
// namespace, saving and stopping; and the saves it makes on its own or fails to make.
#include "monitor/monitor_engine.h"

#include "support/network_namespace.h"
#include "support/packet_builder.h"
#include "support/profile_files.h"
#include "profile/profile_store.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

DayTotals linkIpBytes(const NetworkNamespace& side, const std::string& interface)
{
    const auto counter = [&](const char* name) { return double(side.counter(interface, name)); };
    return {counter("rx_bytes") - kEthernetHeader * counter("rx_packets"),
            counter("tx_bytes") - kEthernetHeader * counter("tx_packets")};
}

DayTotals totalsOf(const ProfileList& profiles, const std::string& name)
{
    for (const CProfile& profile : profiles)
        if (profile.name == name)
            return historyTotals(profile);
    return {-1, -1};
}

// What the profile files in `directory` hold for `name`, as a later run would read them.
DayTotals savedTotals(const std::filesystem::path& directory, const std::string& name)
{
    ProfileList loaded;
    loadAllProfiles(loaded, directory, "");
    return totalsOf(loaded, name);
}

DayTotals totalsInMemory(CMonitorEngine& engine) { return totalsOf(engine.profiles().snapshot(), "Default"); }

// A UDP socket made inside `side`, bound to port 9 (so datagrams to it draw no ICMP answer)
// and sending to port 9 of `to`; it keeps that namespace for life. With `segment` set, one
// send leaves as a segmentation offload buffer of datagrams of that payload size.
class Sender {
public:
    Sender(const NetworkNamespace& side, const std::string& to, int segment = 0)
        : handle(socketInside(side, SOCK_DGRAM, "0.0.0.0", 9)), target(socketAddress(to, 9))
    {
        if (segment) { // UDP_SEGMENT (linux/udp.h)
            EXPECT_EQ(setsockopt(handle, IPPROTO_UDP, 103, &segment, sizeof segment), 0);
        }
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

// Saved totals are written with six significant digits: the traffic here stays below 10^6
// bytes each way, so they are exact. (The capture's accounting of each kind of packet has tests
// of its own; this is the engine's share: offload headers reach the meter, and the save order.)
TEST(EngineNamespace, CountsWirePacketsAndCapturesStopBeforeTheLastSave)
{
    if (!canUseNamespaces())
        GTEST_SKIP() << "the engine's capture needs root (network namespaces and CAP_NET_RAW)";
    removeAbandonedNamespaces();
    NetworkNamespace near("enear"), far("efar");
    ASSERT_TRUE(near.isCreated() && far.isCreated()) << "ip netns add failed";
    ASSERT_TRUE(linkNamespaces(near, "em0", "203.0.113.1/25", far, "em1", "203.0.113.2/25"));
    TempDir dir;
    std::atomic<bool> meterRanDuringLastSave{false};
    CMonitorEngine* running = nullptr;
    CMonitorEngine engine({}, [&](const SaveOutcome&) { meterRanDuringLastSave = running->meter().isRunning(); });
    running = &engine;
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.saveInterval = 0ms;
    // Started inside `near`: the capture socket, the local address of Default and every thread
    // of the engine are there.
    near.runInside([&] { engine.start(options, CaptureSocket::open()); });
    const Sender toNear(far, "203.0.113.1");
    const Sender offloaded(near, "203.0.113.2", 1000);
    // The watcher's first pass opens the capture; until then a datagram may go unseen.
    ASSERT_TRUE(waitFor([&] {
        toNear.send(100);
        return totalsInMemory(engine).down > 0;
    }));
    std::this_thread::sleep_for(200ms); // the last probes reach the totals (blocks retire in 50 ms)
    const double linkBefore = linkIpBytes(near, "em0").up;
    const double countedBefore = totalsInMemory(engine).up;
    // veth carries the 5010 bytes as one packet; the wire carries six datagrams (five of 1000).
    ASSERT_TRUE(offloaded.send(5010));
    const double sent = linkIpBytes(near, "em0").up - linkBefore + 5 * 28;
    EXPECT_TRUE(waitFor([&] { return totalsInMemory(engine).up - countedBefore >= sent; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(totalsInMemory(engine).up - countedBefore, sent);
    EXPECT_TRUE(engine.captureUp());
    EXPECT_EQ(engine.countedInterfaces().size(), 1u); // em0 (named from this thread's namespace)
    EXPECT_TRUE(engine.save().saved);
    EXPECT_TRUE(meterRanDuringLastSave.load());
    const DayTotals saved = savedTotals(options.profileDirectory, "Default");

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
    EXPECT_TRUE(engine.stop().saved);
    std::this_thread::sleep_for(20ms);
    const DayTotals afterStop = totalsInMemory(engine);
    sending = false;
    flow.join();
    EXPECT_FALSE(meterRanDuringLastSave.load()) << "the workers stop before the last save";
    EXPECT_GT(afterStop.down, saved.down) << "the flow was counted until the stop";
    const DayTotals savedLast = savedTotals(options.profileDirectory, "Default");
    EXPECT_EQ(savedLast.down, afterStop.down);
    EXPECT_EQ(savedLast.up, afterStop.up);
}

// A capture that could not open counts no interface, whatever addresses the machine holds,
// and says why in one line of its own words.
TEST(EngineNamespace, ACaptureThatIsOffCountsNoInterface)
{
    if (!canUseNamespaces())
        GTEST_SKIP() << "needs root (network namespaces)";
    removeAbandonedNamespaces();
    NetworkNamespace near("enoff"), far("efoff");
    ASSERT_TRUE(linkNamespaces(near, "em0", "203.0.113.1/25", far, "em1", "203.0.113.2/25"));
    TempDir dir;
    CMonitorEngine engine;
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.saveInterval = 0ms;
    std::filesystem::create_directories(options.profileDirectory);
    CProfile work = makeDefaultProfile("192.0.2.99"); // an address the machine does not hold
    work.setName("Work");
    ASSERT_TRUE(work.save(options.profileDirectory.string()));
    near.runInside([&] { engine.start(options, CaptureSocket()); });
    EXPECT_TRUE(engine.holdsAddress("203.0.113.1"));
    EXPECT_EQ(engine.unheldAddressOf("Work"), "192.0.2.99");
    EXPECT_EQ(engine.unheldAddressOf("Default"), ""); // Default counts every address
    ASSERT_TRUE(engine.selectProfile("Work"));
    const std::vector<std::string> notices = engine.countingNotices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].rfind("Capture off: ", 0), 0u) << notices[0];
    EXPECT_EQ(notices[1], "Profile Work: this machine does not hold 192.0.2.99");
    EXPECT_FALSE(engine.captureUp());
    EXPECT_TRUE(engine.countedInterfaces().empty());
    const std::string problem = engine.captureProblem();
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    EXPECT_EQ(problem.find("WSA"), std::string::npos) << problem;
}

} // namespace

// Without workers nothing is captured; the engine still loads, saves on its own and hands each
// outcome, failures included, to the callback.
TEST(Engine, SavesEveryIntervalAndHandsFailuresToTheCallback)
{
    TempDir dir;
    std::mutex mutex;
    std::vector<SaveOutcome> outcomes;
    CMonitorEngine engine({}, [&](const SaveOutcome& outcome) {
        std::lock_guard lock(mutex);
        outcomes.push_back(outcome);
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
    ASSERT_TRUE(waitFor([&] { return savedTotals(options.profileDirectory, "Default").down == 4321; }));

    // A directory where the temporary of Default.xml must go: every save of it fails.
    // A periodic save may hold that name for a moment with its own temporary: try until it stands.
    const auto blocker = options.profileDirectory / "Default.xml.tmp" / "inside";
    ASSERT_TRUE(waitFor([&] {
        std::error_code error;
        std::filesystem::create_directories(blocker, error);
        return std::filesystem::is_directory(blocker, error);
    }));
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex);
        return !outcomes.empty() && !outcomes.back().saved;
    }));
    EXPECT_FALSE(engine.stop().saved);
    std::lock_guard lock(mutex);
    ASSERT_EQ(outcomes.back().failures.size(), 1u);
    EXPECT_EQ(outcomes.back().failures[0].file, options.profileDirectory / "Default.xml");
}

// Profiles: Default, Work, "Work " and a second Work.
TEST(Engine, SelectsTheFirstProfileOfTheWholeName)
{
    TempDir dir;
    CMonitorEngine engine;
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.startWorkers = false;
    options.saveInterval = 0ms;
    engine.start(options);
    for (const char* name : {"Work", "Work ", "Work"}) {
        std::unique_lock lock(engine.profiles().guard);
        engine.profiles().addProfile(CProfile{});
        engine.profiles().profiles.back().setName(name);
    }
    const struct {
        const char* name;
        bool found;
        std::uint32_t selected; // unchanged when not found
    } cases[] = {{"Work ", true, 2}, {"Work", true, 1}, {"work", false, 1}, {"Wor", false, 1}, {"Default", true, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(engine.selectProfile(c.name), c.found) << c.name;
        EXPECT_EQ(engine.selectedProfile(), c.selected) << c.name;
    }
}

// The counted profile is kept by name while the Options dialog adds and removes profiles
// through the engine's editor: never a neighbour that moved into its place.
TEST(Engine, TheCountedProfileStaysThroughEditsOfTheList)
{
    TempDir dir;
    CMonitorEngine engine;
    MonitorOptions options;
    options.profileDirectory = dir / "profiles";
    options.startWorkers = false;
    options.saveInterval = 0ms;
    engine.start(options);
    ProfileEditor editor = engine.editor();
    for (const char* name : {"Alpha", "Work", "Zulu"})
        ASSERT_EQ(editor.addProfile(name, "192.0.2.1"), ProfileEditor::NewProfile::Added);
    ASSERT_TRUE(engine.selectProfile("Work"));
    const auto counted = [&engine] { return engine.profileSource().snapshot()[engine.selectedProfile()].name; };
    ASSERT_EQ(editor.removeProfile("Alpha"), ProfileEditor::Removal::Removed); // before it
    EXPECT_EQ(counted(), "Work");
    ASSERT_EQ(editor.addProfile("Beta", "192.0.2.1"), ProfileEditor::NewProfile::Added);
    EXPECT_EQ(counted(), "Work");
    ASSERT_EQ(editor.removeProfile("Work"), ProfileEditor::Removal::Removed); // itself: Default
    EXPECT_EQ(counted(), "Default");
    EXPECT_EQ(engine.selectedProfileName(), "Default");
}
