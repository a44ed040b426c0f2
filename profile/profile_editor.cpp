#include "profile/profile_editor.h"

#include "profile/lan_pattern.h"
#include "profile/profile_file.h"
#include "profile/profile_list.h"

#include <algorithm>
#include <mutex>

std::string withoutDenyMarker(const std::string& displayText)
{
    if (!displayText.empty() && displayText.front() == kDenyMarker)
        return displayText.substr(1);
    return displayText;
}

std::optional<std::uint16_t> parsePortText(const std::string& text)
{
    const long long number = readDecimalInteger(text);
    if (number < 0 || number > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(number);
}

bool isUsableProfileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string trimmedProfileName(const std::string& name)
{
    constexpr const char* kBlanks = " \t\r\n\f\v";
    const std::size_t first = name.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return {};
    return name.substr(first, name.find_last_not_of(kBlanks) - first + 1);
}

namespace {

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return foldAscii(x) == foldAscii(y); });
}

} // namespace

bool profileNameBefore(const std::string& a, const std::string& b)
{
    const std::string left = profileFileName(a);
    const std::string right = profileFileName(b);
    const auto folded = std::lexicographical_compare_three_way(
        left.begin(), left.end(), right.begin(), right.end(),
        [](char x, char y) { return (unsigned char)foldAscii(x) <=> (unsigned char)foldAscii(y); });
    return folded != 0 ? folded < 0 : left < right;
}

std::vector<std::string> ProfileEditor::names() const
{
    std::unique_lock lock(shared.guard);
    std::vector<std::string> result;
    for (const CProfile& profile : shared.profiles)
        result.push_back(profile.name);
    return result;
}

std::optional<ProfilePageView> ProfileEditor::view(const std::string& name) const
{
    std::unique_lock lock(shared.guard);
    const CProfile* profile = find(name);
    if (profile == nullptr)
        return std::nullopt;
    ProfilePageView page;
    page.ip = profile->getIp();
    for (const YearHistory& year : profile->history)
        for (const DayTotals& day : year.days)
            page.totalBytes += day.down + day.up;
    const std::vector<std::string> lanEntries = lanPatterns(page.ip);
    const std::string lan = lanEntries.empty() ? std::string() : lanEntries.front();
    for (std::size_t i = 0; i < profile->ipFilter.size(); ++i) {
        const std::string pattern = profile->ipFilterPattern(i);
        // Only a deny entry of the pattern is the switch's; an allow entry of the same text is
        // the user's own.
        if (!lan.empty() && pattern == lan && !profile->ipFilter[i].allow)
            page.lanChecked = false;
        const bool allowed = profile->matchIpFilter(pattern);
        page.ipEntries.push_back(allowed ? pattern : kDenyMarker + pattern);
    }
    for (const PortFilterEntry& entry : profile->portFilter) {
        const std::string port = std::to_string(entry.port);
        page.portEntries.push_back(profile->matchPortFilter(entry.port) ? port : kDenyMarker + port);
    }
    return page;
}

bool ProfileEditor::setAddress(const std::string& name, const std::string& ip)
{
    std::unique_lock lock(shared.guard);
    CProfile* profile = find(name);
    if (profile == nullptr)
        return false;
    profile->setIp(ip);
    return true;
}

bool ProfileEditor::tryAddIp(const std::string& name, const std::string& pattern, bool allow, Outcome& outcome)
{
    std::unique_lock lock(shared.guard);
    CProfile* profile = findEditable(name);
    if (profile == nullptr) {
        outcome = Outcome::Ignored;
        return false;
    }
    outcome = profile->addIpFilter(pattern, allow) ? Outcome::Done : Outcome::Refused;
    return outcome == Outcome::Done;
}

ProfileEditor::Change ProfileEditor::addIpEntry(const std::string& name, const std::string& text,
                                                const Resolver& resolve)
{
    const bool allow = text.empty() || text.front() != kDenyMarker;
    const std::string typed = withoutDenyMarker(text);
    const std::string marker = allow ? std::string() : std::string(1, kDenyMarker);
    Change change;
    if (tryAddIp(name, typed, allow, change.outcome) || change.outcome == Outcome::Ignored) {
        change.text = marker + typed;
        return change;
    }
    // Resolving may take a while (a name server); the guard is not held meanwhile.
    const std::string resolved = resolve ? resolve(typed) : std::string();
    tryAddIp(name, resolved, allow, change.outcome);
    change.text = marker + resolved;
    return change;
}

ProfileEditor::Change ProfileEditor::removeIpEntry(const std::string& name, const std::string& displayText)
{
    std::unique_lock lock(shared.guard);
    CProfile* profile = findEditable(name);
    if (profile == nullptr)
        return {};
    const bool removed = profile->removeIpFilter(withoutDenyMarker(displayText));
    return {removed ? Outcome::Done : Outcome::Refused, displayText};
}

ProfileEditor::Change ProfileEditor::addPortEntry(const std::string& name, const std::string& text)
{
    std::unique_lock lock(shared.guard);
    CProfile* profile = findEditable(name);
    if (profile == nullptr)
        return {};
    const bool allow = text.empty() || text.front() != kDenyMarker;
    const std::optional<std::uint16_t> port = parsePortText(withoutDenyMarker(text));
    if (!port || !profile->addPortFilter(allow, *port))
        return {Outcome::Refused, {}};
    return {Outcome::Done, (allow ? "" : std::string(1, kDenyMarker)) + std::to_string(*port)};
}

ProfileEditor::Change ProfileEditor::removePortEntry(const std::string& name, const std::string& displayText)
{
    std::unique_lock lock(shared.guard);
    CProfile* profile = findEditable(name);
    if (profile == nullptr)
        return {};
    const std::optional<std::uint16_t> port = parsePortText(withoutDenyMarker(displayText));
    const bool removed = port && profile->removePortFilter(*port);
    return {removed ? Outcome::Done : Outcome::Refused, displayText};
}

ProfileEditor::Change ProfileEditor::setLanSwitch(const std::string& name, bool checked,
                                                 const std::vector<std::string>& onLinkPrefixes)
{
    std::unique_lock lock(shared.guard);
    CProfile* profile = find(name);
    if (profile == nullptr)
        return {};
    std::vector<std::string> lanEntries = lanPatterns(profile->getIp());
    if (lanEntries.empty())
        return {Outcome::Refused, {}};
    lanEntries.insert(lanEntries.end(), onLinkPrefixes.begin(), onLinkPrefixes.end());
    // The switch reads, adds and removes only deny entries of its patterns: an allow entry of
    // the same text belongs to the user (and, patterns being unique, keeps a deny one out). The
    // first pattern decides; the other ranges follow it.
    const auto removeDeny = [&](const std::string& pattern) {
        const auto& entries = profile->ipFilter;
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [&](const IpFilterEntry& e) { return e.pattern == pattern; });
        return found != entries.end() && !found->allow && profile->removeIpFilter(pattern);
    };
    // The first entry that covers an address decides, so the deny entries go before the
    // profile's own, in the switch's order.
    std::size_t placed = 0;
    const auto addDenyFirst = [&](const std::string& pattern) {
        if (!profile->addIpFilter(pattern, false))
            return false;
        auto& entries = profile->ipFilter;
        std::rotate(entries.begin() + std::ptrdiff_t(placed), entries.end() - 1, entries.end());
        ++placed;
        return true;
    };
    const bool changed = checked ? removeDeny(lanEntries.front()) : addDenyFirst(lanEntries.front());
    if (changed)
        for (std::size_t i = 1; i < lanEntries.size(); ++i)
            checked ? removeDeny(lanEntries[i]) : addDenyFirst(lanEntries[i]);
    return {changed ? Outcome::Done : Outcome::Refused, kDenyMarker + lanEntries.front()};
}

ProfileEditor::NewProfile ProfileEditor::addProfile(const std::string& typedName, const std::string& ip)
{
    const std::string name = trimmedProfileName(typedName);
    if (!isUsableProfileName(name))
        return NewProfile::InvalidName;
    std::unique_lock lock(shared.guard);
    if (std::ranges::any_of(shared.profiles, [&](const CProfile& p) { return sameIgnoringCase(p.name, name); }))
        return NewProfile::NameInUse;
    CProfile profile;
    profile.setName(name);
    profile.setIp(ip);
    shared.addProfile(std::move(profile));
    // Where the next start will load it: before the profiles at the end that sort after it.
    auto place = shared.profiles.end() - 1;
    while (place != shared.profiles.begin() && profileNameBefore(name, (place - 1)->name))
        --place;
    std::rotate(place, shared.profiles.end() - 1, shared.profiles.end());
    if (listChanged)
        listChanged();
    return NewProfile::Added;
}

ProfileEditor::Removal ProfileEditor::removeProfile(const std::string& name, std::size_t* index)
{
    std::unique_lock lock(shared.guard);
    CProfile* profile = find(name);
    if (profile == nullptr)
        return Removal::NoProfile;
    if (profile->name == kDefaultProfileName)
        return Removal::DefaultProfile;
    const auto position = static_cast<std::size_t>(profile - shared.profiles.data());
    shared.removedNames.push_back(name);
    shared.profiles.erase(shared.profiles.begin() + static_cast<std::ptrdiff_t>(position));
    if (listChanged)
        listChanged();
    if (index != nullptr)
        *index = position;
    return Removal::Removed;
}

CProfile* ProfileEditor::find(const std::string& name)
{
    const auto found = std::find_if(shared.profiles.begin(), shared.profiles.end(),
                                    [&](const CProfile& p) { return p.name == name; });
    return found == shared.profiles.end() ? nullptr : &*found;
}

const CProfile* ProfileEditor::find(const std::string& name) const
{
    return const_cast<ProfileEditor*>(this)->find(name);
}

CProfile* ProfileEditor::findEditable(const std::string& name)
{
    CProfile* profile = find(name);
    return profile != nullptr && profile->name == kDefaultProfileName ? nullptr : profile;
}
