#include "profile/profile.h"

#include <algorithm>
#include <cctype>
#include <climits>

std::vector<std::string> splitDotted(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t dot = text.find('.', pos);
        const std::size_t end = dot == std::string::npos ? text.size() : dot;
        if (end > pos)
            parts.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

long long readDecimalInteger(const std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) {
        const int digit = text[pos] - '0';
        value = value > (LLONG_MAX - digit) / 10 ? LLONG_MAX : value * 10 + digit;
    }
    return negative ? -value : value;
}

bool parseIpv6Pattern(const std::string& text, IpAddress& address, int& prefixLength)
{
    const std::size_t slash = text.find('/');
    prefixLength = 128;
    if (slash != std::string::npos) {
        const std::string length = text.substr(slash + 1);
        if (length.empty() || length.size() > 3 ||
            !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        prefixLength = std::stoi(length);
        if (prefixLength > 128)
            return false;
    }
    const std::string addressText = text.substr(0, slash);
    if (addressText.find(':') == std::string::npos)
        return false;
    const std::optional<IpAddress> parsed = parseIpAddress(addressText);
    if (!parsed)
        return false;
    address = *parsed;
    return true;
}

bool isValidAddressPattern(std::string text)
{
    IpAddress ipv6;
    int prefixLength = 0;
    if (text.find(':') != std::string::npos)
        return parseIpv6Pattern(text, ipv6, prefixLength);
    const std::vector<std::string> parts = splitDotted(text);
    if (parts.size() != 4)
        return false;
    for (const std::string& part : parts) {
        if (part.size() > 3)
            return false;
        if (part == "*")
            continue;
        if (!std::all_of(part.begin(), part.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        if (std::stoi(part) > 255)
            return false;
    }
    return true;
}

bool parseAddressPattern(std::string text, AddressParts& parts)
{
    const std::vector<std::string> pieces = splitDotted(text);
    if (pieces.size() < 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        parts[i] = pieces[i] == "*" ? std::int16_t{-1}
                                    : static_cast<std::int16_t>(readDecimalInteger(pieces[i]));
    return true;
}

AddressParts addressParts(std::uint32_t address)
{
    return {static_cast<std::int16_t>(address >> 24), static_cast<std::int16_t>((address >> 16) & 0xff),
            static_cast<std::int16_t>((address >> 8) & 0xff), static_cast<std::int16_t>(address & 0xff)};
}

void CProfile::setName(std::string value)
{
    name = std::move(value);
    isDefault = name == kDefaultProfileName;
}

void CProfile::setIp(std::string value)
{
    ip = std::move(value);
    boundAddressValue = parseIpAddress(ip);
}

bool CProfile::addIpFilter(std::string pattern, bool allow)
{
    if (!isValidAddressPattern(pattern))
        return false;
    for (const IpFilterEntry& entry : ipFilter)
        if (entry.pattern == pattern)
            return false;
    IpFilterEntry entry;
    entry.allow = allow;
    int prefixLength = 0;
    if (parseIpv6Pattern(pattern, entry.prefixValue, prefixLength)) {
        entry.ipv6 = true;
        entry.parts.fill(-1);
        const auto maskOf = [](int bits) { return bits <= 0 ? 0 : bits >= 64 ? ~0ull : ~0ull << (64 - bits); };
        entry.prefixMask = {maskOf(prefixLength), maskOf(prefixLength - 64)};
        entry.prefixValue.high &= entry.prefixMask.high;
        entry.prefixValue.low &= entry.prefixMask.low;
        entry.pattern = std::move(pattern);
        ipFilter.push_back(std::move(entry));
        return true;
    }
    parseAddressPattern(pattern, entry.parts);
    for (std::size_t i = 0; i < 4; ++i) {
        if (entry.parts[i] < 0)
            continue;
        const unsigned shift = 24 - 8 * unsigned(i);
        entry.mask |= 0xffu << shift;
        entry.value |= std::uint32_t(entry.parts[i]) << shift;
    }
    entry.pattern = std::move(pattern);
    ipFilter.push_back(std::move(entry));
    return true;
}

bool CProfile::removeIpFilter(std::string pattern)
{
    const auto found = std::find_if(ipFilter.begin(), ipFilter.end(),
                                    [&](const IpFilterEntry& e) { return e.pattern == pattern; });
    if (found == ipFilter.end())
        return false;
    ipFilter.erase(found);
    return true;
}

std::string CProfile::ipFilterPattern(std::size_t index) const
{
    return index < ipFilter.size() ? ipFilter[index].pattern : std::string();
}

bool CProfile::addPortFilter(bool allow, long long number)
{
    if (number > 65535)
        return false;
    const auto port = static_cast<std::uint16_t>(number);
    for (const PortFilterEntry& entry : portFilter)
        if (entry.port == port)
            return false;
    portFilter.push_back(PortFilterEntry{allow, port});
    return true;
}

bool CProfile::removePortFilter(std::uint16_t port)
{
    const auto found = std::find_if(portFilter.begin(), portFilter.end(),
                                    [&](const PortFilterEntry& e) { return e.port == port; });
    if (found == portFilter.end())
        return false;
    portFilter.erase(found);
    return true;
}

bool CProfile::matchIpFilter(std::string addressText) const
{
    IpAddress ipv6;
    int prefixLength = 0;
    if (parseIpv6Pattern(addressText, ipv6, prefixLength))
        return matchIpFilter(ipv6);
    AddressParts address;
    if (!parseAddressPattern(std::move(addressText), address))
        return false;
    return matchIpFilter(address);
}

bool CProfile::matchIpFilter(const AddressParts& address) const
{
    bool fallback = false;
    for (const IpFilterEntry& entry : ipFilter) {
        if (entry.ipv6)
            continue;
        bool covers = true;
        int wildcards = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            if (entry.parts[i] == -1)
                ++wildcards;
            else if (entry.parts[i] != address[i])
                covers = false;
        }
        if (wildcards == 4)
            fallback = entry.allow;
        else if (covers)
            return entry.allow;
    }
    return fallback;
}

bool CProfile::matchIpFilter(std::uint32_t address) const
{
    return matchIpFilter(IpAddress::fromV4(address));
}

bool CProfile::matchIpFilter(const IpAddress& address) const
{
    // Same verdicts as the parts-wise match for IPv4: valid patterns only hold parts 0-255,
    // and an all-"*" entry is the IPv4 one with an empty mask.
    const bool isV4 = address.isV4();
    const std::uint32_t v4 = address.v4();
    bool fallback = false;
    for (const IpFilterEntry& entry : ipFilter) {
        if (entry.ipv6) {
            if (!isV4 && (address.high & entry.prefixMask.high) == entry.prefixValue.high &&
                (address.low & entry.prefixMask.low) == entry.prefixValue.low)
                return entry.allow;
        } else if (entry.mask == 0) {
            fallback = entry.allow;
        } else if (isV4 && (v4 & entry.mask) == entry.value) {
            return entry.allow;
        }
    }
    return fallback;
}

bool CProfile::matchPortFilter(std::uint16_t port) const
{
    bool fallback = false;
    for (const PortFilterEntry& entry : portFilter) {
        if (entry.port == 0)
            fallback = entry.allow;
        else if (entry.port == port)
            return entry.allow;
    }
    return fallback;
}

void CProfile::addToDayHistory(long long bytes, bool isDownload)
{
    addToDayHistory(bytes, isDownload, DayClock::system().today());
}

void CProfile::addToDayHistory(long long bytes, bool isDownload, const LocalDate& date)
{
    DayTotals& slot = yearRecord(date.year).days[YearHistory::slotOf(date.month, date.day)];
    (isDownload ? slot.down : slot.up) += static_cast<double>(bytes);
}

YearHistory& CProfile::yearRecord(int year)
{
    if (YearHistory* found = findYear(year))
        return *found;
    history.emplace_back().year = year;
    return history.back();
}

void CProfile::reserveYear(int year)
{
    if (findYear(year) != nullptr)
        return;
    YearHistory& record = history.emplace_back();
    record.year = year;
    record.reserved = true;
}

void CProfile::dropUnusedReservations()
{
    std::erase_if(history, [](const YearHistory& record) { return record.reserved && !record.hasTraffic(); });
}

bool YearHistory::hasTraffic() const
{
    for (const DayTotals& slot : days)
        if (slot.down > 0 || slot.up > 0)
            return true;
    return false;
}

YearHistory* CProfile::findYear(int year)
{
    for (YearHistory& record : history)
        if (record.year == year)
            return &record;
    return nullptr;
}

const YearHistory* CProfile::findYear(int year) const
{
    return const_cast<CProfile*>(this)->findYear(year);
}
