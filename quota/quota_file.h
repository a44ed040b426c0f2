#pragma once
// quotas.json in the data directory, next to profiles/:
//
//   {"quotas": [
//     {"profile": "Default", "period": "month", "start_day": 15,
//      "direction": "total", "limit_bytes": 50000000000, "warn_percent": 90},
//     {"profile": "Default", "application": "Firefox", "period": "day", "limit_bytes": 2000000000}
//   ]}
//
// "period" is "day" or "month"; "start_day" 1-28, month quotas only, default 1; "direction"
// "down", "up" or "total", default "total"; "limit_bytes" a whole number from 1 to 2^53;
// "warn_percent" 1-99, default 90. "application", when given, is an application's name as the
// Applications window shows it: the quota then counts only that application's bytes within the
// profile. At most one quota per profile, application (or none) and period. Any other key,
// value or shape makes the whole file bad: the program then runs without quotas and never
// writes over the file.

#include "quota/quota_period.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class QuotaDirection { Down, Up, Total };

struct Quota {
    std::string profile;
    QuotaPeriod period = QuotaPeriod::Month;
    int startDay = 1;
    QuotaDirection direction = QuotaDirection::Total;
    std::uint64_t limitBytes = 0;
    int warnPercent = 90;
    std::string application{}; // empty: the whole profile's bytes
    bool operator==(const Quota&) const = default;
};

inline constexpr const char* kQuotaFileName = "quotas.json";
// Larger files are refused unread: a thousand quotas take well under 200 KiB.
inline constexpr std::uintmax_t kMaxQuotaFileBytes = 1 << 20;
inline constexpr std::size_t kMaxQuotas = 4096;
inline constexpr std::uint64_t kMaxLimitBytes = std::uint64_t{1} << 53; // exact as a double
inline constexpr std::size_t kMaxProfileNameBytes = 1024;
inline constexpr std::size_t kMaxApplicationNameBytes = 1024;

const char* periodName(QuotaPeriod period);       // "day", "month"
const char* directionName(QuotaDirection direction); // "down", "up", "total"

// What is wrong with a list of quotas as an editor would make it ("quotas[1].warn_percent: 100
// is not from 1 to 99", "quotas[2]: a second month quota for \"Home\""), or empty when
// nothing is: the checks the file's reader makes, for a window's form.
std::string quotaListProblem(const std::vector<Quota>& quotas);

// The quotas a document holds, or nullopt with what is wrong in `problem` ("quotas[2]: ...").
std::optional<std::vector<Quota>> parseQuotaDocument(std::string_view text, std::string& problem);
// The document for `quotas`, as parseQuotaDocument reads it back.
std::string quotaDocument(const std::vector<Quota>& quotas);

struct QuotaFileRead {
    std::vector<Quota> quotas;
    bool present = false; // the file exists
    // Empty when the file was read (or is absent); otherwise one line without the "velmora: "
    // prefix naming the file and what is wrong, and `quotas` is empty.
    std::string problem;
};

std::filesystem::path quotaFilePath(const std::filesystem::path& dataDirectory);
QuotaFileRead readQuotaFile(const std::filesystem::path& dataDirectory);

// Replaces quotas.json atomically (a temporary flushed and renamed, as the profiles are). Refuses,
// writing nothing, when quotaListProblem finds fault with `quotas`, or when the file there now
// cannot be read: what it holds is the user's, to mend. False with the reason in `problem` when nothing was written.
bool writeQuotaFile(const std::filesystem::path& dataDirectory, const std::vector<Quota>& quotas,
                    std::string& problem);

// Whether a document's objects and lists nest at most `maxDepth` deep.
bool nestingWithin(std::string_view text, int maxDepth);

