#pragma once
// The monitor without any front end: the profile list and its guard, the meter, the capture
// and the address watcher that tells it which interfaces to count, the periodic save and the
// stop order. The window,
// the headless service and the tests drive it; it needs no Qt and no event loop.
//
//     CMonitorEngine engine(onReadout, onSave);
//     engine.start(options, std::move(socket));        // load, Default, meter, capture, saver
//     ...                                               // readouts arrive once a second
//     const SaveOutcome last = engine.stop();           // the capture first, then the last save
//
// Threads: onReadout runs on the meter thread, onSave on the thread that saved (the saver's
// for periodic saves, the caller's for save() and stop()), the quota callback on the quota
// thread or the caller's (watchQuotas, reloadQuotas, stop). None may wait for the thread
// that calls stop(), which joins them. Every other call comes from one thread, the owner's.

#include "accounting/traffic_meter.h"
#include "attribution/attribution_names.h"
#include "capture/counting_source.h"
#include "monitor/quota_check.h"
#include "profile/profile_file.h"
#include "profile/profile_editor.h"
#include "profile/profile_list.h"
#include "profile/profile_source.h"
#include "usage/usage_database.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct MonitorOptions {
    // Where the profile files live; a relative path is taken from the current directory.
    std::filesystem::path profileDirectory = "profiles";
    // Without workers no meter thread, no watcher and no capture run (the socket is closed):
    // the profiles are loaded and saved, and tests drive the meter themselves.
    bool startWorkers = true;
    // How often every profile is written while the engine runs; zero: never on its own.
    std::chrono::milliseconds saveInterval = std::chrono::minutes(1);
    // How long the last save, in stop(), is retried before the engine gives up on it.
    std::chrono::milliseconds exitSavePatience = std::chrono::seconds(5);
    // The usage database that keeps every profile's hours (usage.sqlite in the data directory);
    // empty: no hours are kept. The profile files never depend on it.
    std::filesystem::path usageDatabase;
    // Days of hours kept, today's included; older ones are dropped at start and once a day.
    int keepHoursDays = kDefaultKeepHoursDays;
    // The local date and hour the traffic is counted in (the meter's clock too).
    const DayClock* dayClock = &DayClock::system();
    // Called once by start() with the profiles as loaded, before any packet is counted (the
    // metrics count from there). Runs under the guard: it must not call back into the engine.
    std::function<void(const ProfileList&)> onLoaded;
    // How the live rates name the programs (applicationRates); none: from the machine's cgroup
    // hierarchy and desktop files, as the usage database names them.
    std::function<AttributionNames()> rateNames;
};

// The quotas the engine checks (monitor/quota_check.h).
struct QuotaWatchOptions {
    std::filesystem::path dataDirectory; // holds quotas.json, next to profiles/
    // How often the use is checked on the engine's quota thread; zero: no thread, checks only
    // at watchQuotas, reloadQuotas and stop.
    std::chrono::milliseconds interval = std::chrono::seconds(5);
    const DayClock* dayClock = &DayClock::system(); // the local date the spans are taken on
};

// What one save did: `saved` false when any file could not be written; `failures` then names
// each such file and the reason.
struct SaveOutcome {
    bool saved = true;
    SaveFailures failures;
};

class UsageAttribution;
class UsageRecorder;

class CMonitorEngine {
public:
    using SaveCallback = std::function<void(const SaveOutcome&)>;

    explicit CMonitorEngine(ReadoutCallback onReadout = {}, SaveCallback onSave = {});
    CMonitorEngine(const CMonitorEngine&) = delete;
    CMonitorEngine& operator=(const CMonitorEngine&) = delete;
    ~CMonitorEngine(); // stop()

    // Loads every profile of the directory (Default created, bound to the first local address,
    // when none has that name), gives each a record of this year, and starts the meter, the
    // counting from `source` (opened by main while it could: counting_source.h; the kernel's
    // flows drained once a second, or the ring's packets; without either the rates stay 0),
    // the address watcher and the periodic save. Says the source and why in one line. Call once.
    void start(const MonitorOptions& options, CountingSource source = {});

    // Copies the profiles under the guard and writes them without it, so a slow disk never
    // stalls a capture thread; the files of removed profiles are set aside once all is written.
    // Saves never overlap. Tells onSave.
    SaveOutcome save();

    // Stops the periodic save, closes the capture (so everything it counted is in the
    // totals), stops the meter and the watcher, then saves, retried for exitSavePatience.
    // Returns the last save's outcome. Later calls do nothing and return a success.
    SaveOutcome stop();
    bool isStopped() const { return stopped; }
    // Keeps the hours of that many days from the next save on (Options); after start().
    void setKeepHoursDays(int days);

    // The profile whose live counters the readouts show: the first one of that whole name.
    // False, and the selection unchanged, when no profile has the name. The selection is kept
    // by name: adding or removing profiles through editor() never moves it to a neighbour
    // (a removed counted profile leaves Default counted).
    bool selectProfile(const std::string& name);
    std::string selectedProfileName() const { return selectedName; }
    void selectFirstProfile();
    std::uint32_t selectedProfile() const;
    // The names of the profiles, in list order.
    std::vector<std::string> profileNames() const;

    // Which source counts and why (what start() said).
    const CountingChoice& countingChoice() const { return choice; }
    // The interfaces whose packets are counted now, by name; none while the capture is off
    // or failing.
    std::vector<std::string> countedInterfaces() const;
    // Packets the kernel dropped before the capture could read them, since the start.
    std::uint64_t kernelDrops() const;
    // Whether packets are being counted: the capture opened and its receive works.
    bool captureUp() const;
    // Why the capture is off or failing, as the socket error's text; empty while it counts
    // (or before the start).
    std::string captureFailure() const;
    // The same in plain words for a log line ("Operation not permitted (...)").
    std::string captureProblem() const;
    // Whether `ip` is one of the machine's addresses as the address watcher last found them;
    // false before the first pass and without workers.
    bool holdsAddress(const std::string& ip) const;
    // The address of that profile when it is bound to one the machine does not hold (it
    // counts nothing then); empty for Default, which counts every address, and otherwise.
    std::string unheldAddressOf(const std::string& profileName) const;
    // The notices a view shows beside the counting: the capture being off or failing, and the
    // counted profile bound to an address the machine does not hold. One line each.
    std::vector<std::string> countingNotices() const;

    // Starts the quota check: reads quotas.json and the crossings told, checks at once on the
    // calling thread, then once an interval on the engine's quota thread and a last time in
    // stop(), after the capture has stopped. Every check goes to `onQuotas` (QuotaCheck's
    // callback), on the thread that made it; it must not call back into the engine. Call once,
    // after start().
    void watchQuotas(const QuotaWatchOptions& quotaOptions, QuotaCheck::Callback onQuotas);
    // Reads quotas.json again and checks at once, on the calling thread; the number of quotas
    // read (0 before watchQuotas).
    std::size_t reloadQuotas();

    // Each application's (or interface's) bytes in a profile over the days from `first` to
    // `last` (both included), busiest first: what usage.sqlite holds plus what was counted and
    // not saved yet, each byte once, also while a save commits. From any thread, after start();
    // it may wait for a save's commit to the database, never for the profiles' guard (so a
    // caller may not hold it). Empty without a usage database.
    std::vector<NamedTotals> applicationTotals(const std::string& profile, const LocalDate& first,
                                               const LocalDate& last) const;
    std::vector<NamedTotals> interfaceTotals(const std::string& profile, const LocalDate& first,
                                             const LocalDate& last) const;

    // What the windows read (copies taken under the guard), and how they edit the profiles.
    // Views use these; the list and its guard stay the engine's.
    const ProfileSource& profileSource() const { return source; }
    ProfileEditor editor();

    // Each application's bytes of the last whole period (the Current readout's) and of the last
    // minute in the profile, named and merged by name as the usage database keeps them (the
    // System entry included), busiest of the minute first. Only programs heard from in the
    // last minute.
    std::vector<ApplicationRate> applicationRates(const std::string& profile) const;

    // The list itself, for the capture side, the service and tests; never for a view.
    SharedProfiles& profiles() { return shared; }
    const SharedProfiles& profiles() const { return shared; }
    CTrafficMeter& meter() { return *trafficMeter; }

private:
    struct Workers; // the capture, the address watcher, the saver and the quota thread
    void startWorkers(CountingSource source);
    void stopWorkers();
    void keepSelection(); // with the guard held exclusively

    MonitorOptions options;
    SaveCallback onSave;
    SharedProfiles shared;
    SharedProfileSource source{shared};
    std::unique_ptr<CTrafficMeter> trafficMeter;
    std::unique_ptr<Workers> workers;
    std::unique_ptr<QuotaCheck> quotaCheck;
    std::unique_ptr<UsageRecorder> usageRecorder; // with options.usageDatabase only
    UsageAttribution* attribution = nullptr; // the recorder's, while its database is open
    mutable std::mutex rateNamesMutex; // guards rateNames
    mutable std::unique_ptr<AttributionNames> rateNames; // made at the first applicationRates
    std::mutex saveMutex; // one save at a time: two would write the same temporaries
    std::string selectedName; // what selectedProfile points at; owner's thread only
    CountingChoice choice;
    bool started = false;
    bool stopped = false;
};
