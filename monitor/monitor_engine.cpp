#include "monitor/monitor_engine.h"

#include "accounting/flow_batch.h"
#include "base/program_log.h"
#include "capture/address_watcher.h"
#include "capture/packet_capture.h"
#include "capture/packet_flow.h"
#include "monitor/periodic_task.h"
#include "monitor/usage_hours.h"
#include "profile/profile_store.h"
#include "profile/save_episode.h"

#include <algorithm>
#include <optional>

#include <net/if.h>

namespace {
constexpr auto kExitSaveRetryPause = std::chrono::milliseconds(500);

// What a new Default profile is bound to: the machine's first IPv4 address, by interface.
std::string firstIpv4Address()
{
    const MachineAddresses machine = listMachineAddresses().value_or(MachineAddresses());
    for (const MachineAddress& entry : machine.entries())
        if (entry.address.isV4())
            return ipAddressText(entry.address);
    return {};
}
} // namespace

struct CMonitorEngine::Workers {
    std::unique_ptr<KernelSource> kernel; // the kernel source; the capture stays closed then
    std::unique_ptr<FlowBatch> ringBatch;   // the capture thread's: outlives the capture
    std::unique_ptr<CPacketCapture> capture;
    std::unique_ptr<CAddressWatcher> watcher; // points to the capture: destroyed first
    std::unique_ptr<CPeriodicTask> saver;
    std::unique_ptr<CPeriodicTask> quotaTimer;
};

CMonitorEngine::CMonitorEngine(ReadoutCallback onReadout, SaveCallback saveCallback)
    : onSave(std::move(saveCallback)),
      trafficMeter(std::make_unique<CTrafficMeter>(
          // Once a period, on the meter thread: the programs counted are named while their
          // cgroups are still there (monitor/usage_attribution.h).
          [this, readout = std::move(onReadout)](ReadoutKind kind, float down, float up) {
              if (kind == ReadoutKind::Current && attribution != nullptr)
                  attribution->collect();
              if (readout)
                  readout(kind, down, up);
          },
          &shared)),
      workers(std::make_unique<Workers>())
{
}

CMonitorEngine::~CMonitorEngine()
{
    stop();
}

void CMonitorEngine::start(const MonitorOptions& startOptions, CountingSource source)
{
    options = startOptions;
    trafficMeter->setClock(options.dayClock);
    ProfileList loaded;
    loadAllProfiles(loaded, options.profileDirectory, firstIpv4Address(), LoadMode::Owner);
    {
        std::unique_lock lock(shared.guard);
        shared.profiles = std::move(loaded);
        shared.prepareYear(options.dayClock->today().year);
        if (options.onLoaded)
            options.onLoaded(shared.profiles);
        selectedName = shared.profiles.empty() ? std::string() : shared.profiles.front().name;
    }
    if (!options.usageDatabase.empty()) {
        usageRecorder = std::make_unique<UsageRecorder>(options.usageDatabase, *options.dayClock, options.keepHoursDays);
        usageRecorder->start(shared.profiles); // no capture runs yet: the list holds still
        if (usageRecorder->isOpen()) { // without the database nothing would take the rows
            attribution = &usageRecorder->attribution();
            trafficMeter->setAttributedTotals(&attribution->totals());
        }
    }
    trafficMeter->selectedProfile = 0;
    started = true;
    startWorkers(std::move(source));
}

void CMonitorEngine::startWorkers(CountingSource source)
{
    choice = source.choice;
    if (options.startWorkers) {
        logLine(choice.line());
        trafficMeter->start("velmora-meter");
        CTrafficMeter* target = trafficMeter.get();
        // The ring's packets reach the accounting as one flow record each, counted a batch at
        // a time: what one walk of the ring handed over.
        workers->ringBatch = std::make_unique<FlowBatch>(*target);
        FlowBatch* batch = workers->ringBatch.get();
        workers->capture = std::make_unique<CPacketCapture>(
            [batch](const CapturedPacket& packet) {
                FlowKey key;
                FlowCount count;
                if (packetFlow(packet, key, count))
                    batch->add(key, count);
            },
            [batch] { batch->handOver(); });
        // The kernel's flows, read once a second by its helper, reach the accounting as they are.
        // Otherwise the ring; a refused socket leaves the capture off and the rates at 0 (main
        // has already said on stderr how to grant the capability). The capture object holds
        // the counted interfaces for both.
        if (source.kernel != nullptr) {
            workers->kernel = std::move(source.kernel);
            workers->kernel->run([target](const FlowKey& key, const FlowCount& count) { target->countFlow(key, count); });
        } else {
            workers->capture->open(std::move(source.ringSocket));
        }
        workers->watcher = std::make_unique<CAddressWatcher>(workers->capture.get());
        // The first pass before start() returns: the machine's addresses are known, and
        // counted, from the start on.
        workers->watcher->scanOnce();
        workers->watcher->start("velmora-watch");
    }
    if (options.saveInterval.count() > 0) {
        workers->saver = std::make_unique<CPeriodicTask>([this] { save(); }, options.saveInterval);
        workers->saver->start("velmora-save");
    }
}

// The saver first (no periodic save meets the last one) and the quota thread, then the capture
// (it stops at once), the meter and the watcher.
void CMonitorEngine::stopWorkers()
{
    workers->saver.reset();
    workers->quotaTimer.reset();
    if (workers->kernel != nullptr) {
        // What the programs counted since the last read, then the helper's end.
        if (!workers->kernel->drainNow())
            logLine("the kernel counting helper did not hand over the last second's flows");
        workers->kernel->close();
    }
    if (workers->capture != nullptr)
        workers->capture->close();
    trafficMeter->stopAndWait();
    workers->watcher.reset();
}

SaveOutcome CMonitorEngine::save()
{
    SaveOutcome outcome;
    {
        std::lock_guard saving(saveMutex);
        ProfileList copy;
        std::vector<std::string> removed;
        const LocalDate copyDay = options.dayClock->today();
        {
            std::unique_lock lock(shared.guard);
            copy = shared.profiles;
            removed = shared.removedNames;
        }
        outcome.saved = saveAllProfiles(copy, removed, options.profileDirectory, &outcome.failures);
        // The hours from the same copy (monitor/usage_hours.h); without a database they are
        // simply let go.
        if (usageRecorder) {
            usageRecorder->save(shared, copy, copyDay, outcome);
        } else {
            std::unique_lock lock(shared.guard);
            forgetCommittedHours(shared, copy, options.dayClock->today());
        }
        if (outcome.saved && !removed.empty()) {
            std::unique_lock lock(shared.guard);
            auto& names = shared.removedNames;
            for (const std::string& name : removed)
                if (auto it = std::find(names.begin(), names.end(), name); it != names.end())
                    names.erase(it);
        }
    }
    if (onSave)
        onSave(outcome);
    return outcome;
}

void CMonitorEngine::setKeepHoursDays(int days)
{
    if (usageRecorder)
        usageRecorder->setKeepDays(days);
}

SaveOutcome CMonitorEngine::stop()
{
    if (stopped)
        return {};
    stopped = true;
    // The capture first, so everything it counted is in the totals the save copies.
    stopWorkers();
    if (!started)
        return {};
    if (quotaCheck) // the crossings of the last seconds' traffic
        quotaCheck->check();
    SaveOutcome last;
    retrySave([&] { return (last = save()).saved; }, options.exitSavePatience, kExitSaveRetryPause);
    return last;
}

void CMonitorEngine::watchQuotas(const QuotaWatchOptions& quotaOptions, QuotaCheck::Callback onQuotas)
{
    quotaCheck = std::make_unique<QuotaCheck>(
        shared, *quotaOptions.dayClock, quotaOptions.dataDirectory, std::move(onQuotas),
        [this](const std::string& profile, const LocalDate& first, const LocalDate& last) {
            return applicationTotals(profile, first, last);
        });
    quotaCheck->reload();
    if (quotaOptions.interval.count() > 0 && !stopped) {
        workers->quotaTimer =
            std::make_unique<CPeriodicTask>([this] { quotaCheck->check(); }, quotaOptions.interval);
        workers->quotaTimer->start("velmora-quota");
    }
}

std::size_t CMonitorEngine::reloadQuotas()
{
    return quotaCheck ? quotaCheck->reload() : 0;
}

std::vector<NamedTotals> CMonitorEngine::applicationTotals(const std::string& profile, const LocalDate& first,
                                                          const LocalDate& last) const
{
    return usageRecorder ? usageRecorder->namedTotals(NamedKind::Application, profile, first, last)
                         : std::vector<NamedTotals>();
}

std::vector<NamedTotals> CMonitorEngine::interfaceTotals(const std::string& profile, const LocalDate& first,
                                                        const LocalDate& last) const
{
    return usageRecorder ? usageRecorder->namedTotals(NamedKind::Interface, profile, first, last)
                         : std::vector<NamedTotals>();
}

bool CMonitorEngine::selectProfile(const std::string& name)
{
    std::optional<std::uint32_t> found;
    {
        std::unique_lock lock(shared.guard);
        for (std::size_t i = 0; i < shared.profiles.size() && !found; ++i)
            if (shared.profiles[i].name == name)
                found = std::uint32_t(i);
    }
    if (found) {
        trafficMeter->selectedProfile = *found;
        selectedName = name;
    }
    return found.has_value();
}

void CMonitorEngine::selectFirstProfile()
{
    trafficMeter->selectedProfile = 0;
    std::unique_lock lock(shared.guard);
    selectedName = shared.profiles.empty() ? std::string() : shared.profiles.front().name;
}

ProfileEditor CMonitorEngine::editor()
{
    return ProfileEditor(shared, [this] { keepSelection(); });
}

// After a profile was added or removed: the counted profile's new position, or Default's when
// it is gone (then the first's).
void CMonitorEngine::keepSelection()
{
    const auto at = [this](const std::string& name) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < shared.profiles.size(); ++i)
            if (shared.profiles[i].name == name)
                return i;
        return std::nullopt;
    };
    std::optional<std::size_t> index = at(selectedName);
    if (!index) {
        index = at(kDefaultProfileName);
        if (!index && !shared.profiles.empty())
            index = 0;
        selectedName = index ? shared.profiles[*index].name : std::string();
    }
    trafficMeter->selectedProfile = std::uint32_t(index.value_or(0));
}

std::vector<ApplicationRate> CMonitorEngine::applicationRates(const std::string& profile) const
{
    const std::vector<CgroupRate> rates = trafficMeter->recentRates().of(profile);
    std::lock_guard lock(rateNamesMutex);
    if (!rateNames)
        rateNames = std::make_unique<AttributionNames>(options.rateNames ? options.rateNames() : AttributionNames());
    return namedRates(rates, [this](std::uint64_t cgroup) { return rateNames->application(cgroup).name; });
}

std::uint32_t CMonitorEngine::selectedProfile() const
{
    return trafficMeter->selectedProfile.load();
}

std::vector<std::string> CMonitorEngine::profileNames() const
{
    std::vector<std::string> names;
    std::unique_lock lock(shared.guard);
    for (const CProfile& profile : shared.profiles)
        names.push_back(profile.name);
    return names;
}

std::vector<std::string> CMonitorEngine::countedInterfaces() const
{
    std::vector<std::string> names;
    if (!captureUp())
        return names;
    for (int index : workers->capture->countedInterfaces()) {
        char name[IF_NAMESIZE] = {};
        // An interface gone since the last watcher pass has no name any more: show its index.
        names.push_back(::if_indextoname(static_cast<unsigned>(index), name) != nullptr
                            ? std::string(name)
                            : "interface " + std::to_string(index));
    }
    return names;
}

std::uint64_t CMonitorEngine::kernelDrops() const
{
    return workers->capture != nullptr ? workers->capture->kernelDrops() : 0;
}

bool CMonitorEngine::captureUp() const
{
    if (workers->kernel != nullptr)
        return workers->kernel->isUp();
    return workers->capture != nullptr && workers->capture->isOpen() && !workers->capture->hasFailed();
}

std::string CMonitorEngine::captureFailure() const
{
    if (workers->kernel != nullptr)
        return workers->kernel->failure();
    return workers->capture != nullptr ? workers->capture->failureText() : std::string();
}

std::string CMonitorEngine::captureProblem() const
{
    if (workers->kernel != nullptr)
        return workers->kernel->failure();
    return workers->capture != nullptr ? workers->capture->failureReason() : std::string();
}

std::string CMonitorEngine::unheldAddressOf(const std::string& profileName) const
{
    if (!workers->watcher)
        return {}; // without the watcher nothing is known of the machine's addresses
    std::string ip;
    {
        std::unique_lock lock(shared.guard);
        const auto found = std::find_if(shared.profiles.begin(), shared.profiles.end(),
                                        [&](const CProfile& profile) { return profile.name == profileName; });
        if (found == shared.profiles.end() || found->countsEveryAddress())
            return {};
        ip = found->getIp();
    }
    return holdsAddress(ip) ? std::string() : ip;
}

std::vector<std::string> CMonitorEngine::countingNotices() const
{
    std::vector<std::string> notices;
    if (const std::string problem = captureProblem(); !problem.empty())
        notices.push_back("Capture off: " + problem);
    const std::string name = selectedProfileName();
    if (const std::string ip = unheldAddressOf(name); !ip.empty())
        notices.push_back("Profile " + name + ": this machine does not hold " + ip);
    return notices;
}

bool CMonitorEngine::holdsAddress(const std::string& ip) const
{
    const std::optional<IpAddress> wanted = parseIpAddress(ip);
    if (!wanted || workers->watcher == nullptr)
        return false;
    const std::vector<IpAddress> held = workers->watcher->addresses();
    return std::find(held.begin(), held.end(), *wanted) != held.end();
}
