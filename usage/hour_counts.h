#pragma once
// A day's hours as the usage database keeps them: bytes down and up per local clock hour, in
// the order the hours passed (a day that sets the clocks back has two "01" hours, one that
// sets them forward none at "02").

#include "profile/day_clock.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct HourCounts {
    std::uint64_t down = 0;
    std::uint64_t up = 0;
    bool operator==(const HourCounts&) const = default;
};
using DayHourCounts = std::vector<HourCounts>; // index: hours since local midnight

// The day's key in the database: 20261208 for 8 December 2026 (LocalDate's month from 0).
int dayKeyOf(const LocalDate& date);
LocalDate dateOfDayKey(int key);

// The hours packed as one value: down and up of each hour in turn, each an unsigned LEB128
// varint (an idle hour costs two bytes, a gigabyte five).
std::string packHours(const DayHourCounts& hours);
// Nothing for a value that does not decode to whole hours.
bool unpackHours(std::string_view packed, DayHourCounts& hours);

// An application's day, idle most hours, packed tighter: the number of hours, a mask of those
// with traffic (bit n for hour n), then down and up of each of those as above (a day busy in
// one hour costs about ten bytes, not fifty).
std::string packSparseHours(const DayHourCounts& hours);
bool unpackSparseHours(std::string_view packed, DayHourCounts& hours);

HourCounts sumOf(const DayHourCounts& hours);

// Makes the hours add up to `target`: the difference goes into the last hour with traffic
// (`fallbackHour` when none has any); a shortfall is taken from the hours before it when that
// hour holds less. Returns the bytes moved in each direction, signed.
struct FitChange {
    std::int64_t down = 0;
    std::int64_t up = 0;
    bool any() const { return down != 0 || up != 0; }
};
FitChange fitHours(DayHourCounts& hours, const HourCounts& target, std::size_t fallbackHour);
