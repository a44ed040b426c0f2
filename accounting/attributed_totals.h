#pragma once
// What each profile counted per program and interface: the bytes of every flow the meter
// accounts for a profile also go, in the same call, to the (profile, day, hour, cgroup,
// interface) entry here, so for every profile and day the entries add up to its day totals
// exactly, and a program's hours to its day. The hour is the local clock hour as the profile's
// hours take it (profile/day_clock.h: the n-th since midnight, of 23 to 25). The
// entries keep the kernel's ids; whoever takes them names them (attribution/) while the
// cgroups are still there, once a period.

#include "profile/day_clock.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct AttributedBytes {
    std::string profile;
    LocalDate date;
    int hour = 0;       // since local midnight, below hourCount
    int hourCount = 24; // the day's hours
    std::uint64_t cgroup = 0; // 0: the system's (flow_count.h)
    int interfaceIndex = 0;   // 0: not known (a full kernel table)
    std::uint64_t down = 0;
    std::uint64_t up = 0;
};

class AttributedTotals {
public:
    // From any capture thread.
    void add(std::string_view profile, const LocalHour& hour, std::uint64_t cgroup, int interfaceIndex, bool isDownload,
             std::uint64_t bytes);
    // Everything added since the last call; the entries start from nothing again.
    std::vector<AttributedBytes> take();

private:
    struct Entry {
        int day = 0; // year * 10000 + month * 100 + day: the date, as one key
        std::int16_t hour = 0;
        std::int16_t hourCount = 24;
        std::uint64_t cgroup = 0;
        int interfaceIndex = 0;
        bool operator==(const Entry&) const = default;
    };
    struct EntryHash {
        std::size_t operator()(const Entry& entry) const;
    };
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
    };
    struct Counts {
        std::uint64_t down = 0;
        std::uint64_t up = 0;
    };
    using ProfileEntries = std::unordered_map<Entry, Counts, EntryHash>;

    std::mutex guard; // guards byProfile
    std::unordered_map<std::string, ProfileEntries, NameHash, std::equal_to<>> byProfile;
};
