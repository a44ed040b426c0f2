#include "service/headless_service.h"

#include "base/program_log.h"
#include "monitor/monitor_engine.h"
#include "profile/instance_lock.h"
#include "profile/save_episode.h"
#include "quota/quota_status.h"
#include "service/metrics_file.h"
#include "service/metrics_text.h"
#include "service/profile_counters.h"
#include "service/service_loop.h"

#include <csignal>
#include <ctime>
#include <mutex>
#include <set>

namespace {

constexpr std::chrono::milliseconds kMetricsPeriod = std::chrono::seconds(15);
constexpr std::chrono::milliseconds kInterfacePoll = std::chrono::seconds(1);

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "SIGTERM";
    }
}

// What the saves did, for the log and the metrics. Saves run on the engine's saver thread and
// on the main thread; the metrics read from the main thread.
class SaveRecord {
public:
    void record(const SaveOutcome& outcome)
    {
        std::lock_guard lock(guard);
        if (outcome.saved)
            lastSuccess = static_cast<double>(std::time(nullptr));
        else
            ++failures;
        const std::string line = episode.standardErrorLine(episode.record(outcome.saved, outcome.failures));
        if (!line.empty())
            logLine(line);
    }
    void fill(ProgramFigures& figures) const
    {
        std::lock_guard lock(guard);
        figures.lastSuccessfulSave = lastSuccess;
        figures.saveFailures = failures;
    }

private:
    mutable std::mutex guard; // guards everything below
    SaveEpisode episode;
    std::uint64_t failures = 0;
    std::optional<double> lastSuccess;
};

// Logs each interface that starts or stops being counted.
class InterfaceLog {
public:
    void update(const std::vector<std::string>& names)
    {
        const std::set<std::string> now(names.begin(), names.end());
        for (const std::string& name : now)
            if (known.count(name) == 0)
                logLine("capture opened on " + name);
        for (const std::string& name : known)
            if (now.count(name) == 0)
                logLine("capture closed on " + name);
        known = now;
    }
    std::size_t size() const { return known.size(); }

private:
    std::set<std::string> known;
};

// One copy per data directory, as for the window. False when another copy holds it; a lock
// that cannot be taken at all is told and the run goes on.
bool takeDirectory(InstanceLock& lock, const std::filesystem::path& dataDirectory)
{
    switch (lock.acquire(dataDirectory)) {
    case InstanceLock::State::HeldByOther:
        logLine("Velmora is already running on " + dataDirectory.string());
        return false;
    case InstanceLock::State::Failed:
        logLine(lock.lastError() + "; a second copy on this directory would not be refused");
        break;
    case InstanceLock::State::Acquired:
        break;
    }
    return true;
}

// The profiles bound to an address the machine does not hold count nothing until it does.
std::vector<std::string> unheldBoundAddresses(const CMonitorEngine& engine)
{
    std::vector<std::string> lines;
    for (const CProfile& profile : engine.profiles().snapshot())
        if (!profile.countsEveryAddress() && !engine.holdsAddress(profile.getIp()))
            lines.push_back("profile " + profile.getName() + " is bound to " + profile.getIp() +
                            ", which this machine does not hold: it counts nothing until it does");
    return lines;
}

// The quotas' figures of the engine's last check, for the metrics. Checks run on the engine's
// quota thread and on the main thread; the metrics read from the main thread.
class QuotaFigureRecord {
public:
    void keep(const std::vector<QuotaStatus>& statuses)
    {
        std::vector<QuotaFigures> kept;
        for (const QuotaStatus& status : statuses)
            if (status.profileFound)
                kept.push_back({status.quota.profile, periodName(status.quota.period), status.quota.application,
                                static_cast<double>(status.quota.limitBytes), status.used});
        std::lock_guard lock(guard);
        last = std::move(kept);
    }
    std::vector<QuotaFigures> figures() const
    {
        std::lock_guard lock(guard);
        return last;
    }

private:
    mutable std::mutex guard; // guards `last`
    std::vector<QuotaFigures> last;
};

} // namespace

int runHeadless(const HeadlessOptions& options, CountingSource source)
{
    // Before the engine starts a thread: every thread inherits the mask, so the stop signals
    // reach only the loop below.
    ServiceLoop::blockStopSignals();
    InstanceLock lock;
    if (!takeDirectory(lock, options.dataDirectory))
        return 1;
    const std::filesystem::path profileDirectory = options.dataDirectory / "profiles";
    // The counters' zero: the totals as loaded, before any packet is counted.
    std::optional<ProfileCounters> counters;
    MonitorOptions engineOptions;
    engineOptions.profileDirectory = profileDirectory;
    engineOptions.usageDatabase = options.dataDirectory / kUsageDatabaseName;
    engineOptions.keepHoursDays = options.keepHoursDays.value_or(kDefaultKeepHoursDays);
    engineOptions.onLoaded = [&counters](const ProfileList& loaded) { counters.emplace(loaded); };

    SaveRecord saves;
    QuotaFigureRecord quotaFigures;
    CMonitorEngine engine({}, [&saves](const SaveOutcome& outcome) { saves.record(outcome); });
    engine.start(engineOptions, std::move(source));
    const std::size_t profileCount = engine.profileNames().size();
    logLine("started, counting into " + profileDirectory.string() + " (" + std::to_string(profileCount) +
            (profileCount == 1 ? " profile)" : " profiles)"));
    if (const std::string problem = engine.captureProblem(); !problem.empty())
        logLine("the capture is off, nothing is counted: " + problem);
    for (const std::string& unheld : unheldBoundAddresses(engine))
        logLine(unheld, LogBytes::Escaped);
    if (options.started)
        options.started();

    // Quotas: the engine reads them now and on SIGHUP and checks them every few seconds.
    engine.watchQuotas({options.dataDirectory}, [&quotaFigures](const QuotaMonitor::Update& check) {
        for (const std::string& line : check.lines)
            logLine(line, LogBytes::Escaped);
        quotaFigures.keep(check.statuses);
    });
    const auto reloadQuotas = [&] {
        const std::size_t count = engine.reloadQuotas();
        logLine("SIGHUP: quotas read again (" + std::to_string(count) + (count == 1 ? " quota)" : " quotas)"));
    };

    InterfaceLog interfaces;
    std::optional<MetricsFile> metrics;
    if (options.metricsFile)
        metrics.emplace(*options.metricsFile);
    const auto writeMetrics = [&] {
        if (!metrics)
            return;
        ProgramFigures program;
        program.captureUp = engine.captureUp();
        program.countingSource = engine.countingChoice().name();
        program.interfacesCaptured = interfaces.size();
        program.kernelDrops = engine.kernelDrops();
        saves.fill(program);
        const ProfileList snapshot = engine.profiles().snapshot();
        const LocalDate today = DayClock::system().today();
        // Each profile's applications of the day, the first profile of a name (as the quotas).
        std::vector<ApplicationFigures> applications;
        std::set<std::string> named;
        for (const CProfile& profile : snapshot) {
            if (!named.insert(profile.name).second)
                continue;
            std::vector<ApplicationFigures> busiest;
            for (const NamedTotals& row : engine.applicationTotals(profile.name, today, today))
                busiest.push_back({profile.name, row.name, double(row.down), double(row.up)});
            for (ApplicationFigures& figures : busiestApplications(profile.name, busiest))
                applications.push_back(std::move(figures));
        }
        logLine(metrics->write(
            metricsText(counters->figures(snapshot, today), program, quotaFigures.figures(), applications)));
    };
    const auto pollInterfaces = [&] { interfaces.update(engine.countedInterfaces()); };
    pollInterfaces();
    writeMetrics();

    ServiceLoop loop({{kInterfacePoll, pollInterfaces}, {kMetricsPeriod, writeMetrics}}, reloadQuotas);
    const int signal = loop.run();
    logLine(std::string(signalName(signal)) + ": saving and stopping");
    const SaveOutcome last = engine.stop();
    interfaces.update({});
    writeMetrics();
    logLine(last.saved ? "stopped, profiles saved" : "stopped; the last save failed");
    return last.saved ? 0 : 1;
}
