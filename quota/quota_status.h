#pragma once
// Where each quota stands today: its span, the use the profile's day totals give it, the
// projection to the span's end, and which crossing (the warning level, the limit) is due to be
// told. Each crossing is told once per span, also across restarts: the crossings told are
// kept in quota-crossings.json in the data directory, each with the limit and warning percent
// it was told for, so that a changed limit or percent starts that quota's crossings afresh.
//
// QuotaMonitor does it all for one data directory: reload() when the quotas may have changed,
// update() (or its two steps) on a timer. Both return the lines to tell. The engine drives it
// (monitor/quota_check.h).

#include "profile/profile_list.h"
#include "quota/quota_file.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

enum class QuotaLevel { Warn = 1, Limit = 2 };

struct QuotaStatus {
    Quota quota;
    bool profileFound = false; // false: no profile of that name; used is 0 and nothing is due
    QuotaSpan span;
    double used = 0;      // bytes in the quota's direction, from span.start to today
    double percent = 0;   // used / limit x 100
    double projected = 0; // whole bytes: used / elapsed days x days in the span
    // The highest level reached and not told yet in this span (the limit covers the warning
    // when both are reached at once).
    std::optional<QuotaLevel> due;
};

// The bytes `profile` counted in `direction` from the span's start to `today` (inclusive).
double quotaUse(const CProfile& profile, QuotaDirection direction, const QuotaSpan& span, const LocalDate& today);
// The bytes of a quota's application within its profile in the quota's direction, from the
// span's start to `today`; whoever keeps the applications' totals gives it (the engine).
using ApplicationUse = std::function<double(const Quota& quota, const QuotaSpan& span, const LocalDate& today)>;
// What a quota counts, for texts: "Default", or "Firefox in Default".
std::string quotaSubject(const Quota& quota);

// The crossings told so far, by quota (profile, application, period, limit and warning percent)
// and span. A crossing recorded without an application is a whole profile's quota's.
class QuotaCrossings {
public:
    bool told(const QuotaStatus& status, QuotaLevel level) const;
    void record(const QuotaStatus& status, QuotaLevel level); // the limit also records the warning
    // Forgets the crossings of quotas no longer in `quotas`: another limit or warning percent
    // is another quota. A crossing recorded without its limit (by an earlier version) is taken
    // as told for the quota of its profile and period. True when anything changed.
    bool keepQuotas(const std::vector<Quota>& quotas);
    // Forgets the crossings of a quota's spans before its current one; true when any went.
    bool keepOnly(const std::vector<QuotaStatus>& current);
    // Forgets crossings, the last first, until the document is at most `maxBytes`; how many went.
    std::size_t capTo(std::size_t maxBytes);

    static std::optional<QuotaCrossings> parse(std::string_view text, std::string& problem);
    std::string document() const;

private:
    struct Entry {
        std::string profile;
        std::string application; // empty: the whole profile's quota
        std::string period;
        std::string start;
        std::uint64_t limit = 0; // 0 (with warn 0): recorded by an earlier version, without them
        int warn = 0;
        int level = 0;
        auto operator<=>(const Entry&) const = default;
    };
    std::set<Entry> entries;
    static Entry entryOf(const QuotaStatus& status, QuotaLevel level);
    static std::string line(const Entry& entry);
};

// Where quota-crossings.json is written smaller: under what its reader takes (1 MiB).
inline constexpr std::size_t kMaxCrossingsDocumentBytes = 512 << 10;
inline constexpr const char* kQuotaCrossingsFileName = "quota-crossings.json";

// Each quota's status for `today`, in the order of `quotas`; the first profile of a name counts.
// An application's quota uses `applicationUse` (none: 0 bytes) once its profile is found.
std::vector<QuotaStatus> quotaStatuses(const std::vector<Quota>& quotas, const ProfileList& profiles,
                                       const LocalDate& today, const QuotaCrossings& told = {},
                                       const ApplicationUse& applicationUse = {});

// "45.0 of 50.0 GB": both in the unit of the limit (B, KB, MB, GB, powers of 1000).
std::string quotaAmountText(double used, std::uint64_t limit);
// For a log or a notification (desktop/view/quota_texts.h), without the "velmora: " prefix: "quota: Default used 45.0 of
// 50.0 GB (90%) this month (from 2026-12-15)" ("... today (2026-12-07)" for a day; "quota:
// Firefox in Default used ..." for an application's quota).
std::string quotaLogLine(const QuotaStatus& status);
// The percentage as shown: whole percent, rounded down, so 90% shows only once 90% is reached.
long long shownPercent(const QuotaStatus& status);

class QuotaMonitor {
public:
    explicit QuotaMonitor(std::filesystem::path dataDirectory);

    // Reads quotas.json again (and the crossings told, the first time). Returns the lines to
    // tell: a bad file's one line, after which there are no quotas until a good one is read.
    std::vector<std::string> reload();

    struct Update {
        std::vector<QuotaStatus> statuses; // as quotaStatuses gives them, `due` set as found
        std::vector<std::string> lines;    // a crossing's line, a quota without its profile (once)
    };
    // The statuses for `today`. Every crossing due is recorded as told, in memory and in
    // quota-crossings.json, before it is returned: a caller tells each one it is given.
    Update update(const ProfileList& profiles, const LocalDate& today, const ApplicationUse& applicationUse = {})
    {
        return record(statuses(profiles, today, applicationUse));
    }
    // update() in its two steps: the statuses, which read the profiles (a caller may hold
    // their guard for this step only), then the crossings recorded and the lines.
    std::vector<QuotaStatus> statuses(const ProfileList& profiles, const LocalDate& today,
                                      const ApplicationUse& applicationUse = {}) const;
    Update record(std::vector<QuotaStatus> statuses);

    const std::vector<Quota>& quotas() const { return current; }

private:
    std::filesystem::path dataDirectory;
    std::vector<Quota> current;
    QuotaCrossings told;
    bool crossingsRead = false;
    bool saveFailing = false; // the last save failed: the next check tries again
    std::set<std::string> missingTold; // profiles named by a quota and found missing, told once
    std::vector<std::string> readCrossings();
    void saveCrossings(std::vector<std::string>& lines);
};
