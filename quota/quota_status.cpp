#include "quota/quota_status.h"

#include "profile/profile_file.h"
#include "profile/profile_writer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <cstdio>

using nlohmann::json;

namespace {

constexpr std::uintmax_t kMaxCrossingsFileBytes = 1 << 20;

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

QuotaCrossings::Key QuotaCrossings::keyOf(const QuotaStatus& status)
{
    return {status.quota.profile, periodName(status.quota.period), isoDate(status.span.start)};
}

bool QuotaCrossings::told(const QuotaStatus& status, QuotaLevel level) const
{
    return entries.count({keyOf(status), static_cast<int>(level)}) != 0;
}

void QuotaCrossings::record(const QuotaStatus& status, QuotaLevel level)
{
    entries.insert({keyOf(status), static_cast<int>(QuotaLevel::Warn)});
    if (level == QuotaLevel::Limit)
        entries.insert({keyOf(status), static_cast<int>(QuotaLevel::Limit)});
}

bool QuotaCrossings::keepOnly(const std::vector<QuotaStatus>& current)
{
    // Only a quota's earlier spans go: the crossings of a quota missing from a bad or edited
    // file stay, so putting the file right does not tell them again.
    std::map<std::pair<std::string, std::string>, std::string> currentStart;
    for (const QuotaStatus& status : current) {
        const Key key = keyOf(status);
        currentStart[{std::get<0>(key), std::get<1>(key)}] = std::get<2>(key);
    }
    const std::size_t before = entries.size();
    std::erase_if(entries, [&](const auto& entry) {
        const auto found = currentStart.find({std::get<0>(entry.first), std::get<1>(entry.first)});
        return found != currentStart.end() && found->second != std::get<2>(entry.first);
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
        for (const json& entry : list) {
            const std::string level = entry.at("level").get<std::string>();
            if (level != "warn" && level != "limit") {
                problem = "unknown level";
                return std::nullopt;
            }
            crossings.entries.insert({{entry.at("profile").get<std::string>(), entry.at("period").get<std::string>(),
                                       entry.at("start").get<std::string>()},
                                      static_cast<int>(level == "warn" ? QuotaLevel::Warn : QuotaLevel::Limit)});
        }
        return crossings;
    } catch (const std::exception& error) {
        problem = "not a record of crossings";
    }
    return std::nullopt;
}

std::string QuotaCrossings::document() const
{
    json list = json::array();
    for (const auto& [key, level] : entries)
        list.push_back({{"profile", std::get<0>(key)},
                        {"period", std::get<1>(key)},
                        {"start", std::get<2>(key)},
                        {"level", level == static_cast<int>(QuotaLevel::Limit) ? "limit" : "warn"}});
    return json{{"crossings", std::move(list)}}.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::vector<QuotaStatus> quotaStatuses(const std::vector<Quota>& quotas, const ProfileList& profiles,
                                       const LocalDate& today, const QuotaCrossings& told)
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
            status.used = quotaUse(*profile, quota.direction, status.span, today);
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

std::string quotaTooltipText(const QuotaStatus& status)
{
    std::string text = "Quota: " + quotaAmountText(status.used, status.quota.limitBytes) + ", " +
                       std::to_string(shownPercent(status)) + "%, ";
    if (status.quota.period == QuotaPeriod::Day)
        return text + "today";
    return text + "month from " + shortDate(status.span.start);
}

std::string quotaLogLine(const QuotaStatus& status)
{
    std::string text = "quota: " + storableText(status.quota.profile) + " used " +
                       quotaAmountText(status.used, status.quota.limitBytes) + " (" +
                       std::to_string(shownPercent(status)) + "%) ";
    if (status.quota.period == QuotaPeriod::Day)
        return text + "today (" + isoDate(status.span.start) + ")";
    return text + "this month (from " + isoDate(status.span.start) + ")";
}

QuotaNotification quotaNotification(const QuotaStatus& status, QuotaLevel level)
{
    const std::string name = storableText(status.quota.profile);
    return {(level == QuotaLevel::Limit ? "Quota used up: " : "Quota warning: ") + name,
            quotaLogLine(status).substr(std::string_view("quota: ").size())};
}

QuotaMonitor::QuotaMonitor(std::filesystem::path dataDirectory) : dataDirectory(std::move(dataDirectory)) {}

std::vector<std::string> QuotaMonitor::readCrossings()
{
    crossingsRead = true;
    const std::filesystem::path file = dataDirectory / kQuotaCrossingsFileName;
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return {};
    std::string problem;
    if (const std::optional<std::string> text = readBoundedFile(file, kMaxCrossingsFileBytes, problem))
        if (std::optional<QuotaCrossings> read = QuotaCrossings::parse(*text, problem)) {
            told = std::move(*read);
            return {};
        }
    return {file.string() + ": " + problem + "; crossings already told may be told again"};
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
    return lines;
}

std::optional<std::string> QuotaMonitor::saveCrossings()
{
    AtomicFileBatch batch;
    const bool saved = batch.add(dataDirectory / kQuotaCrossingsFileName, told.document()) && batch.commit();
    const bool wasFailing = std::exchange(saveFailing, !saved);
    if (saved || wasFailing)
        return std::nullopt;
    const std::string reason = batch.failures().empty() ? std::string("write failed") : batch.failures().front().reason;
    return "could not record the quota crossings told in " + (dataDirectory / kQuotaCrossingsFileName).string() +
           ": " + reason + "; they may be told again after a restart";
}

QuotaMonitor::Update QuotaMonitor::update(const ProfileList& profiles, const LocalDate& today)
{
    Update result;
    result.statuses = quotaStatuses(current, profiles, today, told);
    bool changed = told.keepOnly(result.statuses);
    for (const QuotaStatus& status : result.statuses) {
        if (!status.profileFound) {
            if (missingTold.insert(status.quota.profile).second)
                result.lines.push_back(quotaFilePath(dataDirectory).string() + ": a quota for \"" +
                                       storableText(status.quota.profile) + "\", which is no profile; kept");
            continue;
        }
        if (status.due) {
            told.record(status, *status.due);
            changed = true;
        }
    }
    if (changed)
        if (std::optional<std::string> problem = saveCrossings())
            result.lines.push_back(*problem);
    for (const QuotaStatus& status : result.statuses)
        if (status.due)
            result.lines.push_back(quotaLogLine(status));
    return result;
}
