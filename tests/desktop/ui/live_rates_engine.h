#pragma once
// An engine that counts only what the test hands its meter; the programs' cgroups are
// directories of a tree of the test's own, named as on a desktop.
#include "desktop/view/application_usage.h"
#include "monitor/monitor_engine.h"
#include "profile/profile_store.h"

#include <sys/stat.h>

struct LiveRatesEngine {
    LiveRatesEngine(const std::filesystem::path& directory, const ProfileList& profiles, const DayClock& clock)
        : cgroups(directory / "cgroups")
    {
        saveAllProfiles(profiles, {}, directory / "profiles");
        MonitorOptions options;
        options.profileDirectory = directory / "profiles";
        options.startWorkers = false;
        options.saveInterval = {};
        options.dayClock = &clock;
        options.rateNames = [this] { return AttributionNames(cgroups.string(), ApplicationNamer(std::vector<std::string>{})); };
        engine.start(options);
    }
    // Bytes down and up of the program in `cgroup` ("": the system's) on the flow `key`.
    void count(const std::string& cgroup, FlowKey key, std::uint64_t down, std::uint64_t up)
    {
        std::filesystem::create_directories(cgroups / cgroup);
        struct stat status {};
        key.cgroup = cgroup.empty() || ::stat((cgroups / cgroup).c_str(), &status) != 0 ? 0 : status.st_ino;
        engine.meter().countFlow(key, {down, 0, 1});
        key.direction = PacketWay::Sent;
        engine.meter().countFlow(key, {up, 0, 1});
    }
    LiveRates rates(const std::string& profile) const // as the main window hands them over
    {
        LiveRates rates;
        for (const ApplicationRate& rate : engine.applicationRates(profile))
            rates[rate.name] = {rate.currentDown, rate.currentUp};
        return rates;
    }

    std::filesystem::path cgroups;
    CMonitorEngine engine;
};
