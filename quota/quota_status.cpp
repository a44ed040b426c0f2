#include "quota/quota_status.h"

#include "base/bounded_file.h"
#include "base/program_log.h"
#include "profile/profile_file.h"
#include "profile/profile_writer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <cstdio>

using nlohmann::json;

namespace {

constexpr std::uintmax_t kMaxCrossingsFileBytes = 1 << 20;
static_assert(kMaxCrossingsDocumentBytes < kMaxCrossingsFileBytes, "the record is written smaller than it is read");

struct Unit {
    const char* name;
    double divisor;
};

Unit unitFor(std::uint64_t limit)
{
    if (limit >= 1000000000)
        return {"GB", 1e9};
    if (limit >= 1000000)
        return {"MB", 1e6};
    if (limit >= 1000)
        return {"KB", 1e3};
    return {"B", 1.0};
}

std::string oneDecimal(double value)
{
    char text[512];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

} // namespace

double quotaUse(const CProfile& profile, QuotaDirection direction, const QuotaSpan& span, const LocalDate& today)
{
    const long long first = dayNumber(span.start);
    const long long last = std::min(dayNumber(span.end), dayNumber(today));
    double used = 0;
    for (long long day = first; day <= last; ++day) {
        const LocalDate date = dateFromDayNumber(day);
        const YearHistory* year = profile.findYear(date.year);
        if (year == nullptr)
            continue;
        const DayTotals& totals = year->days[static_cast<std::size_t>(YearHistory::slotOf(date.month, date.day))];
        if (direction != QuotaDirection::Up)
            used += totals.down;
        if (direction != QuotaDirection::Down)
            used += totals.up;
    }
    return used;
}

std::string quotaSubject(const Quota& quota)
{
    const std::string profile = storableText(quota.profile);
    return quota.application.empty() ? profile : storableText(quota.application) + " in " + profile;
}

QuotaCrossings::Entry QuotaCrossings::entryOf(const QuotaStatus& status, QuotaLevel level)
{
    return {status.quota.profile, status.quota.application, periodName(status.quota.period), isoDate(status.span.start),
            status.quota.limitBytes, status.quota.warnPercent, static_cast<int>(level)};
}

bool QuotaCrossings::told(const QuotaStatus& status, QuotaLevel level) const
{
    return entries.count(entryOf(status, level)) != 0;
}

void QuotaCrossings::record(const QuotaStatus& status, QuotaLevel level)
{
    entries.insert(entryOf(status, QuotaLevel::Warn));
    if (level == QuotaLevel::Limit)
        entries.insert(entryOf(status, QuotaLevel::Limit));
}

bool QuotaCrossings::keepQuotas(const std::vector<Quota>& quotas)
{
    const auto quotaOf = [&](const Entry& entry) {
        return std::find_if(quotas.begin(), quotas.end(), [&](const Quota& quota) {
            return quota.profile == entry.profile && quota.application == entry.application &&
                   periodName(quota.period) == entry.period;
        });
    };
    std::set<Entry> kept;
    for (Entry entry : entries) {
        const auto quota = quotaOf(entry);
        if (quota == quotas.end())
            continue;
        if (entry.limit == 0) { // recorded without its limit: taken as told for this quota
            entry.limit = quota->limitBytes;
            entry.warn = quota->warnPercent;
        }
        if (entry.limit == quota->limitBytes && entry.warn == quota->warnPercent)
            kept.insert(std::move(entry));
    }
    const bool changed = kept != entries;
    entries = std::move(kept);
    return changed;
}

bool QuotaCrossings::keepOnly(const std::vector<QuotaStatus>& current)
{
    // Only a quota's earlier spans go here; keepQuotas drops the crossings of quotas gone.
    std::map<std::tuple<std::string, std::string, std::string>, std::string> currentStart;
    for (const QuotaStatus& status : current)
        currentStart[{status.quota.profile, status.quota.application, periodName(status.quota.period)}] =
            isoDate(status.span.start);
    const std::size_t before = entries.size();
    std::erase_if(entries, [&](const Entry& entry) {
        const auto found = currentStart.find({entry.profile, entry.application, entry.period});
        return found != currentStart.end() && found->second != entry.start;
    });
    return entries.size() != before;
}

std::optional<QuotaCrossings> QuotaCrossings::parse(std::string_view text, std::string& problem)
{
    try {
        if (!nestingWithin(text, 4)) {
            problem = "nested too deeply";
            return std::nullopt;
        }
        const json document = json::parse(text);
        const json& list = document.at("crossings");
        if (!list.is_array() || list.size() > 4 * kMaxQuotas) {
            problem = "\"crossings\" must be a list of at most " + std::to_string(4 * kMaxQuotas);
            return std::nullopt;
        }
        QuotaCrossings crossings;
        for (const json& item : list) {
            const std::string level = item.at("level").get<std::string>();
            if (level != "warn" && level != "limit") {
                problem = "unknown level";
                return std::nullopt;
            }
            Entry entry{item.at("profile").get<std::string>(), item.value("application", std::string()),
                        item.at("period").get<std::string>(), item.at("start").get<std::string>()};
            entry.level = static_cast<int>(level == "warn" ? QuotaLevel::Warn : QuotaLevel::Limit);
            if (item.contains("limit_bytes") || item.contains("warn_percent")) {
                entry.limit = item.at("limit_bytes").get<std::uint64_t>();
                entry.warn = item.at("warn_percent").get<int>();
            }
            crossings.entries.insert(std::move(entry));
        }
        return crossings;
    } catch (const std::exception& error) {
        problem = "not a record of crossings";
    }
    return std::nullopt;
}

std::string QuotaCrossings::line(const Entry& entry)
{
    json item{{"profile", entry.profile},
              {"period", entry.period},
              {"start", entry.start},
              {"level", entry.level == static_cast<int>(QuotaLevel::Limit) ? "limit" : "warn"}};
    if (!entry.application.empty())
        item["application"] = entry.application;
    if (entry.limit != 0) {
        item["limit_bytes"] = entry.limit;
        item["warn_percent"] = entry.warn;
    }
    return item.dump(-1, ' ', false, json::error_handler_t::replace);
}

// One crossing a line: {"crossings": [\n{...},\n{...}\n]}
std::string QuotaCrossings::document() const
{
    std::string text = "{\"crossings\": [";
    const char* separator = "\n";
    for (const Entry& entry : entries) {
        text += separator + line(entry);
        separator = ",\n";
    }
    return text + "\n]}\n";
}

std::size_t QuotaCrossings::capTo(std::size_t maxBytes)
{
    std::size_t size = document().size();
    std::size_t dropped = 0;
    while (size > maxBytes && !entries.empty()) {
        size -= line(*std::prev(entries.end())).size() + 2;
        entries.erase(std::prev(entries.end()));
        ++dropped;
    }
    return dropped;
}

std::vector<QuotaStatus> quotaStatuses(const std::vector<Quota>& quotas, const ProfileList& profiles,
                                       const LocalDate& today, const QuotaCrossings& told,
                                       const ApplicationUse& applicationUse)
{
    std::vector<QuotaStatus> statuses;
    for (const Quota& quota : quotas) {
        QuotaStatus status;
        status.quota = quota;
        status.span = quotaSpan(quota.period, quota.startDay, today);
        const auto profile = std::find_if(profiles.begin(), profiles.end(),
                                          [&](const CProfile& p) { return p.name == quota.profile; });
        status.profileFound = profile != profiles.end();
        if (status.profileFound) {
            if (quota.application.empty())
                status.used = quotaUse(*profile, quota.direction, status.span, today);
            else if (applicationUse)
                status.used = applicationUse(quota, status.span, today);
            status.percent = status.used * 100.0 / static_cast<double>(quota.limitBytes);
            status.projected = std::floor(status.used / status.span.elapsedDays * status.span.days);
            if (status.used >= static_cast<double>(quota.limitBytes)) {
                if (!told.told(status, QuotaLevel::Limit))
                    status.due = QuotaLevel::Limit;
            } else if (status.used * 100.0 >= static_cast<double>(quota.limitBytes) * quota.warnPercent) {
                if (!told.told(status, QuotaLevel::Warn))
                    status.due = QuotaLevel::Warn;
            }
        }
        statuses.push_back(std::move(status));
    }
    return statuses;
}

long long shownPercent(const QuotaStatus& status)
{
    return static_cast<long long>(std::floor(std::min(status.percent, 1e15)));
}

std::string quotaAmountText(double used, std::uint64_t limit)
{
    const Unit unit = unitFor(limit);
    if (unit.divisor == 1.0) {
        char text[512];
        std::snprintf(text, sizeof text, "%.0f of %llu B", used, static_cast<unsigned long long>(limit));
        return text;
    }
    return oneDecimal(used / unit.divisor) + " of " + oneDecimal(static_cast<double>(limit) / unit.divisor) + " " +
           unit.name;
}

std::string quotaLogLine(const QuotaStatus& status)
{
    std::string text = "quota: " + quotaSubject(status.quota) + " used " +
                       quotaAmountText(status.used, status.quota.limitBytes) + " (" +
                       std::to_string(shownPercent(status)) + "%) ";
    if (status.quota.period == QuotaPeriod::Day)
        return text + "today (" + isoDate(status.span.start) + ")";
    return text + "this month (from " + isoDate(status.span.start) + ")";
}

QuotaMonitor::QuotaMonitor(std::filesystem::path dataDirectory) : dataDirectory(std::move(dataDirectory)) {}

std::vector<std::string> QuotaMonitor::readCrossings()
{
    crossingsRead = true;
    const std::filesystem::path file = dataDirectory / kQuotaCrossingsFileName;
    std::string problem;
    bool absent = false;
    if (const std::optional<std::string> text = readBoundedFile(file, {.maxBytes = kMaxCrossingsFileBytes}, problem, &absent)) {
        if (std::optional<QuotaCrossings> read = QuotaCrossings::parse(*text, problem)) {
            told = std::move(*read);
            return {};
        }
    } else if (absent) {
        return {};
    }
    return {escapedForLog(file.string()) + ": " + problem + "; crossings already told may be told again"};
}

std::vector<std::string> QuotaMonitor::reload()
{
    std::vector<std::string> lines;
    if (!crossingsRead)
        lines = readCrossings();
    QuotaFileRead read = readQuotaFile(dataDirectory);
    if (!read.problem.empty())
        lines.push_back(read.problem);
    current = std::move(read.quotas);
    missingTold.clear();
    // A file that could not be read says nothing of which quotas are gone.
    if (read.problem.empty() && told.keepQuotas(current))
        saveCrossings(lines);
    return lines;
}

void QuotaMonitor::saveCrossings(std::vector<std::string>& lines)
{
    const std::string file = escapedForLog((dataDirectory / kQuotaCrossingsFileName).string());
    if (const std::size_t dropped = told.capTo(kMaxCrossingsDocumentBytes))
        lines.push_back(file + ": " + std::to_string(dropped) + " crossings left out to keep it under " +
                        std::to_string(kMaxCrossingsDocumentBytes >> 10) + " KiB; they may be told again");
    SaveFailures failures;
    const bool saved = replaceFileAtomically(dataDirectory / kQuotaCrossingsFileName, told.document(), &failures);
    const bool wasFailing = std::exchange(saveFailing, !saved);
    if (saved && wasFailing)
        lines.push_back("the quota crossings told are recorded in " + file + " again");
    else if (!saved && !wasFailing)
        lines.push_back("could not record the quota crossings told in " + file + ": " +
                        (failures.empty() ? std::string("write failed") : failures.front().reason) +
                        "; they may be told again after a restart");
}

std::vector<QuotaStatus> QuotaMonitor::statuses(const ProfileList& profiles, const LocalDate& today,
                                                const ApplicationUse& applicationUse) const
{
    return quotaStatuses(current, profiles, today, told, applicationUse);
}

QuotaMonitor::Update QuotaMonitor::record(std::vector<QuotaStatus> statuses)
{
    Update result;
    result.statuses = std::move(statuses);
    bool changed = told.keepOnly(result.statuses);
    for (const QuotaStatus& status : result.statuses) {
        if (!status.profileFound) {
            if (missingTold.insert(status.quota.profile).second)
                result.lines.push_back(escapedForLog(quotaFilePath(dataDirectory).string()) + ": a quota for \"" +
                                       escapedForLog(storableText(status.quota.profile)) + "\", which is no profile; kept");
            continue;
        }
        if (status.due) {
            told.record(status, *status.due);
            changed = true;
        }
    }
    if (changed || saveFailing) // a failed save is tried again at every check until it works
        saveCrossings(result.lines);
    for (const QuotaStatus& status : result.statuses)
        if (status.due)
            result.lines.push_back(escapedForLog(quotaLogLine(status)));
    return result;
}
