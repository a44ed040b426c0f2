#include "usage/hour_counts.h"

#include <algorithm>

int dayKeyOf(const LocalDate& date)
{
    return date.year * 10000 + (date.month + 1) * 100 + date.day;
}

LocalDate dateOfDayKey(int key)
{
    return LocalDate{key / 10000, key / 100 % 100 - 1, key % 100};
}

namespace {

void appendVarint(std::string& out, std::uint64_t value)
{
    while (value >= 0x80) {
        out += char((value & 0x7f) | 0x80);
        value >>= 7;
    }
    out += char(value);
}

bool readVarint(std::string_view& in, std::uint64_t& value)
{
    value = 0;
    for (int shift = 0; shift < 64 && !in.empty(); shift += 7) {
        const auto byte = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        value |= std::uint64_t(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

// Moves `amount` (signed) into the hours in one direction, ending at `last` and walking back
// while a shortfall is larger than the hour; returns what could be moved.
std::int64_t moveInto(DayHourCounts& hours, std::uint64_t HourCounts::*field, std::size_t last, std::int64_t amount)
{
    if (amount >= 0) {
        hours[last].*field += std::uint64_t(amount);
        return amount;
    }
    std::uint64_t owed = std::uint64_t(-amount);
    for (std::size_t i = last + 1; i-- > 0 && owed > 0;) {
        const std::uint64_t taken = std::min(owed, hours[i].*field);
        hours[i].*field -= taken;
        owed -= taken;
    }
    return amount + std::int64_t(owed);
}

} // namespace

std::string packHours(const DayHourCounts& hours)
{
    std::string out;
    out.reserve(hours.size() * 6);
    for (const HourCounts& hour : hours) {
        appendVarint(out, hour.down);
        appendVarint(out, hour.up);
    }
    return out;
}

bool unpackHours(std::string_view packed, DayHourCounts& hours)
{
    hours.clear();
    while (!packed.empty()) {
        HourCounts hour;
        if (!readVarint(packed, hour.down) || !readVarint(packed, hour.up))
            return false;
        hours.push_back(hour);
    }
    return true;
}

namespace {

constexpr std::size_t kMostHours = 32; // a mask's bits; a day has 25 at most

} // namespace

std::string packSparseHours(const DayHourCounts& hours)
{
    std::string out;
    const std::size_t count = std::min(hours.size(), kMostHours);
    std::uint64_t mask = 0;
    for (std::size_t hour = 0; hour < count; ++hour)
        if (hours[hour] != HourCounts())
            mask |= std::uint64_t(1) << hour;
    appendVarint(out, count);
    appendVarint(out, mask);
    for (std::size_t hour = 0; hour < count; ++hour)
        if (mask & (std::uint64_t(1) << hour)) {
            appendVarint(out, hours[hour].down);
            appendVarint(out, hours[hour].up);
        }
    return out;
}

bool unpackSparseHours(std::string_view packed, DayHourCounts& hours)
{
    hours.clear();
    std::uint64_t count = 0, mask = 0;
    if (!readVarint(packed, count) || count > kMostHours || !readVarint(packed, mask) || (mask >> count) != 0)
        return false;
    hours.resize(count);
    for (std::size_t hour = 0; hour < count; ++hour)
        if ((mask & (std::uint64_t(1) << hour)) &&
            (!readVarint(packed, hours[hour].down) || !readVarint(packed, hours[hour].up)))
            return false;
    return packed.empty();
}

HourCounts sumOf(const DayHourCounts& hours)
{
    HourCounts sum;
    for (const HourCounts& hour : hours) {
        sum.down += hour.down;
        sum.up += hour.up;
    }
    return sum;
}

FitChange fitHours(DayHourCounts& hours, const HourCounts& target, std::size_t fallbackHour)
{
    if (hours.empty())
        return {};
    const HourCounts sum = sumOf(hours);
    std::size_t last = std::min(fallbackHour, hours.size() - 1);
    for (std::size_t i = hours.size(); i-- > 0;)
        if (hours[i].down != 0 || hours[i].up != 0) {
            last = i;
            break;
        }
    FitChange change;
    change.down = moveInto(hours, &HourCounts::down, last, std::int64_t(target.down) - std::int64_t(sum.down));
    change.up = moveInto(hours, &HourCounts::up, last, std::int64_t(target.up) - std::int64_t(sum.up));
    return change;
}
