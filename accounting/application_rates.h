#pragma once
// The bytes of the recent periods per profile and program: what the live rates of the
// Applications window and the tray's busiest program of the last minute are made from. The
// meter adds every flow's bytes here next to the profile's day totals, keyed by the socket's
// cgroup (0: the system's), and ends a period here when it takes its live counters, so a
// program's current rate is measured over the same period as the window's Current readout.
//
// Each cgroup keeps a ring of the last kPeriods periods; a cgroup with nothing in all of them
// is dropped, so the memory follows the programs that talk. Adding takes one lock per flow and
// finds an existing entry without allocating.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One cgroup's bytes of the last whole period and of the last kPeriods whole periods.
struct CgroupRate {
    std::uint64_t cgroup = 0;
    std::uint64_t currentDown = 0, currentUp = 0;
    std::uint64_t minuteDown = 0, minuteUp = 0;
};

// The same per application, cgroups of one name merged.
struct ApplicationRate {
    std::string name;
    std::uint64_t currentDown = 0, currentUp = 0;
    std::uint64_t minuteDown = 0, minuteUp = 0;
};

class ApplicationRates {
public:
    static constexpr int kPeriods = 60; // a minute of one-second periods

    // A profile that took a flow: its place in the list and its name.
    struct Taker {
        std::uint32_t index;
        const std::string* name;
    };
    // One flow's bytes for each profile that took it, under one lock (from any capture thread).
    void add(const Taker* takers, std::size_t count, std::uint64_t cgroup, bool isDownload, std::uint64_t bytes);
    // The period under way ends (the meter thread, as it takes the live counters); the
    // cgroups silent for the last kPeriods periods go.
    void endPeriod();
    // The profile's cgroups heard from in the last kPeriods whole periods, in no order.
    std::vector<CgroupRate> of(std::string_view profile) const;
    // How many (profile, cgroup) entries are kept.
    std::size_t kept() const;

private:
    struct Bytes {
        std::uint64_t down = 0, up = 0;
    };
    // Entries are found by the profile's place in the list (a number to hash, not a name) and
    // keep its name: a profile that moved to another place starts its entry afresh.
    struct Key {
        std::uint32_t index;
        std::uint64_t cgroup;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const
        {
            const std::uint64_t mixed = (key.cgroup ^ (std::uint64_t(key.index) << 48)) * 0x9e3779b97f4a7c15ull;
            return std::size_t(mixed ^ (mixed >> 29));
        }
    };
    struct Cgroup {
        std::string profile;
        std::array<Bytes, kPeriods> ring{}; // by period number modulo kPeriods
        std::int64_t lastPeriod = 0;        // the period of the last add; the ring holds
                                            // lastPeriod - kPeriods + 1 .. lastPeriod
    };

    mutable std::mutex guard; // guards everything below
    std::int64_t period = kPeriods; // the period under way
    std::unordered_map<Key, Cgroup, KeyHash> entries;
};

// The cgroups' rates named (`nameOf` a cgroup id) and merged by name, busiest of the last
// minute first (then by name).
std::vector<ApplicationRate> namedRates(const std::vector<CgroupRate>& rates,
                                        const std::function<std::string(std::uint64_t cgroup)>& nameOf);
