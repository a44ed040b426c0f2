#include "quota/quota_file.h"

#include "base/bounded_file.h"
#include "base/program_log.h"
#include "profile/profile_file.h"

#include <nlohmann/json.hpp>

#include <set>
#include <tuple>
#include <utility>

using nlohmann::json;

namespace {

// Objects and arrays deeper than this are refused before the parser sees them.
constexpr int kMaxDepth = 8;

struct Bad {
    std::string what;
};

// A parser message as one printable line: the "last read" part quotes the input, so control
// bytes and bytes of no UTF-8 character become \xNN, and it is cut to a reasonable length.
std::string printable(std::string text)
{
    if (const auto tag = text.find("] "); text.rfind("[json.exception.", 0) == 0 && tag != std::string::npos)
        text.erase(0, tag + 2);
    if (text.size() > 200)
        text = text.substr(0, 200) + "...";
    return escapedForLog(text);
}

std::string quotedName(const std::string& name)
{
    return "\"" + printable(name) + "\"";
}

const json& member(const json& object, const char* key)
{
    static const json absent;
    const auto found = object.find(key);
    return found == object.end() ? absent : *found;
}

long long wholeNumber(const json& value, const std::string& where, long long low, long long high)
{
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number <= static_cast<std::uint64_t>(high) && static_cast<long long>(number) >= low)
            return static_cast<long long>(number);
    } else if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number >= low && number <= high)
            return number;
    } else {
        throw Bad{where + ": must be a whole number from " + std::to_string(low) + " to " + std::to_string(high)};
    }
    throw Bad{where + ": " + value.dump() + " is not from " + std::to_string(low) + " to " + std::to_string(high)};
}

// The first key given twice in one object of a well-formed document ("line 3: \"limit_bytes\"
// given twice"), or empty. The parser keeps the last of them without a word.
std::string duplicateKeyProblem(std::string_view text)
{
    std::vector<std::set<std::string>> objects; // the keys of each object open, innermost last
    std::vector<bool> isObject;                 // each open object or list
    std::string_view lastString;
    std::size_t line = 1, lastStringLine = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
        } else if (c == '"') {
            const std::size_t start = i;
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\')
                    ++i;
            lastString = text.substr(start, i - start + 1);
            lastStringLine = line; // a string holds no line break
        } else if (c == ':' && !isObject.empty() && isObject.back()) { // after a key, always
            const std::string key = json::parse(lastString).get<std::string>();
            if (!objects.back().insert(key).second)
                return "line " + std::to_string(lastStringLine) + ": " + quotedName(key) + " given twice";
        } else if (c == '{' || c == '[') {
            isObject.push_back(c == '{');
            objects.emplace_back();
        } else if ((c == '}' || c == ']') && !isObject.empty()) {
            isObject.pop_back();
            objects.pop_back();
        }
    }
    return {};
}

Quota readQuota(const json& entry, const std::string& where)
{
    static const std::set<std::string> kKeys{"profile", "application", "period", "start_day",
                                               "direction", "limit_bytes", "warn_percent"};
    if (!entry.is_object())
        throw Bad{where + ": must be an object"};
    for (const auto& [key, value] : entry.items())
        if (kKeys.count(key) == 0)
            throw Bad{where + ": unknown key " + quotedName(key)};
    Quota quota;
    const json& profile = member(entry, "profile");
    if (!profile.is_string() || profile.get_ref<const std::string&>().empty())
        throw Bad{where + ".profile: must be a profile's name"};
    quota.profile = profile.get<std::string>();
    if (quota.profile.size() > kMaxProfileNameBytes)
        throw Bad{where + ".profile: longer than " + std::to_string(kMaxProfileNameBytes) + " bytes"};
    if (const json& application = member(entry, "application"); !application.is_null()) {
        if (!application.is_string() || application.get_ref<const std::string&>().empty())
            throw Bad{where + ".application: must be an application's name"};
        quota.application = application.get<std::string>();
        if (quota.application.size() > kMaxApplicationNameBytes)
            throw Bad{where + ".application: longer than " + std::to_string(kMaxApplicationNameBytes) + " bytes"};
    }
    const json& period = member(entry, "period");
    if (period == "day")
        quota.period = QuotaPeriod::Day;
    else if (period == "month")
        quota.period = QuotaPeriod::Month;
    else
        throw Bad{where + ".period: must be \"day\" or \"month\""};
    if (const json& startDay = member(entry, "start_day"); !startDay.is_null()) {
        if (quota.period != QuotaPeriod::Month)
            throw Bad{where + ".start_day: only a month quota has a start day"};
        quota.startDay = static_cast<int>(wholeNumber(startDay, where + ".start_day", 1, 28));
    }
    if (const json& direction = member(entry, "direction"); !direction.is_null()) {
        if (direction == "down")
            quota.direction = QuotaDirection::Down;
        else if (direction == "up")
            quota.direction = QuotaDirection::Up;
        else if (direction == "total")
            quota.direction = QuotaDirection::Total;
        else
            throw Bad{where + ".direction: must be \"down\", \"up\" or \"total\""};
    }
    const json& limit = member(entry, "limit_bytes");
    if (limit.is_null())
        throw Bad{where + ".limit_bytes: missing"};
    quota.limitBytes = static_cast<std::uint64_t>(
        wholeNumber(limit, where + ".limit_bytes", 1, static_cast<long long>(kMaxLimitBytes)));
    if (const json& warn = member(entry, "warn_percent"); !warn.is_null())
        quota.warnPercent = static_cast<int>(wholeNumber(warn, where + ".warn_percent", 1, 99));
    return quota;
}

} // namespace

const char* periodName(QuotaPeriod period)
{
    return period == QuotaPeriod::Day ? "day" : "month";
}

const char* directionName(QuotaDirection direction)
{
    switch (direction) {
    case QuotaDirection::Down:
        return "down";
    case QuotaDirection::Up:
        return "up";
    case QuotaDirection::Total:
        break;
    }
    return "total";
}

bool nestingWithin(std::string_view text, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

std::optional<std::vector<Quota>> parseQuotaDocument(std::string_view text, std::string& problem)
{
    try {
        if (!nestingWithin(text, kMaxDepth))
            throw Bad{"nested more than " + std::to_string(kMaxDepth) + " levels deep"};
        json document;
        try {
            document = json::parse(text);
        } catch (const json::exception& error) {
            throw Bad{"not JSON: " + printable(error.what())};
        }
        if (std::string duplicate = duplicateKeyProblem(text); !duplicate.empty())
            throw Bad{std::move(duplicate)};
        if (!document.is_object())
            throw Bad{"must be an object with a \"quotas\" list"};
        for (const auto& [key, value] : document.items())
            if (key != "quotas")
                throw Bad{"unknown key " + quotedName(key)};
        const json& list = member(document, "quotas");
        if (!list.is_array())
            throw Bad{"\"quotas\" must be a list"};
        if (list.size() > kMaxQuotas)
            throw Bad{"more than " + std::to_string(kMaxQuotas) + " quotas"};
        std::vector<Quota> quotas;
        std::set<std::tuple<std::string, std::string, QuotaPeriod>> seen;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = "quotas[" + std::to_string(i) + "]";
            Quota quota = readQuota(list[i], where);
            if (!seen.emplace(quota.profile, quota.application, quota.period).second)
                throw Bad{where + ": a second " + periodName(quota.period) + " quota for " +
                          (quota.application.empty() ? "" : quotedName(quota.application) + " in ") +
                          quotedName(quota.profile)};
            quotas.push_back(std::move(quota));
        }
        return quotas;
    } catch (const Bad& bad) {
        problem = bad.what;
    } catch (const std::exception& error) { // allocation or a library fault on hostile input
        problem = printable(error.what());
    }
    return std::nullopt;
}

std::string quotaListProblem(const std::vector<Quota>& quotas)
{
    // The reader's checks, on the document these quotas make.
    std::string problem;
    if (quotas.size() > kMaxQuotas)
        return "more than " + std::to_string(kMaxQuotas) + " quotas";
    for (std::size_t i = 0; i < quotas.size(); ++i)
        if (quotas[i].period == QuotaPeriod::Day && quotas[i].startDay != 1)
            return "quotas[" + std::to_string(i) + "].start_day: only a month quota has a start day";
    parseQuotaDocument(quotaDocument(quotas), problem);
    return problem;
}

std::string quotaDocument(const std::vector<Quota>& quotas)
{
    json list = json::array();
    for (const Quota& quota : quotas) {
        json entry = json::object();
        entry["profile"] = quota.profile;
        if (!quota.application.empty())
            entry["application"] = quota.application;
        entry["period"] = periodName(quota.period);
        if (quota.period == QuotaPeriod::Month)
            entry["start_day"] = quota.startDay;
        entry["direction"] = directionName(quota.direction);
        entry["limit_bytes"] = quota.limitBytes;
        entry["warn_percent"] = quota.warnPercent;
        list.push_back(std::move(entry));
    }
    // Invalid UTF-8 in a name is written as U+FFFD rather than failing the write.
    return json{{"quotas", std::move(list)}}.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::filesystem::path quotaFilePath(const std::filesystem::path& dataDirectory)
{
    return dataDirectory / kQuotaFileName;
}

QuotaFileRead readQuotaFile(const std::filesystem::path& dataDirectory)
{
    QuotaFileRead read;
    const std::filesystem::path file = quotaFilePath(dataDirectory);
    std::string problem;
    bool absent = false;
    const std::optional<std::string> text = readBoundedFile(file, {.maxBytes = kMaxQuotaFileBytes}, problem, &absent);
    if (absent)
        return read;
    read.present = true;
    if (text)
        if (std::optional<std::vector<Quota>> quotas = parseQuotaDocument(*text, problem))
            read.quotas = std::move(*quotas);
    if (!problem.empty())
        read.problem = escapedForLog(file.string()) + ": " + problem + "; running without quotas";
    return read;
}

bool writeQuotaFile(const std::filesystem::path& dataDirectory, const std::vector<Quota>& quotas,
                    std::string& problem)
{
    if (problem = quotaListProblem(quotas); !problem.empty())
        return false;
    const QuotaFileRead current = readQuotaFile(dataDirectory);
    if (!current.problem.empty()) {
        problem = current.problem.substr(0, current.problem.rfind("; running without quotas")) +
                  "; left as it is, not written over";
        return false;
    }
    SaveFailures failures;
    if (replaceFileAtomically(quotaFilePath(dataDirectory), quotaDocument(quotas), &failures))
        return true;
    problem = failures.empty() ? "could not write " + quotaFilePath(dataDirectory).string()
                               : "could not write " + failures.front().file.string() + ": " + failures.front().reason;
    return false;
}
