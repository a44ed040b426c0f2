#include "profile/day_clock.h"

#include <algorithm>
#include <mutex>

namespace {

std::atomic<std::uint64_t> nextClockId{1};

struct DaySpan {
    std::uint64_t clockId = 0;
    std::time_t start = 0; // first second of the day, local time
    std::time_t end = 0;   // first second of the next day
    LocalDate date;
    int hourCount = 24;
    int fixedHour = -1; // the hour of a span that is one second only
};

thread_local DaySpan cachedSpan;

// glibc guards its time zone state with a lock of its own that ThreadSanitizer cannot see;
// the cache misses (once a day per thread) go through this one as well, so TSan sees the
// calls ordered. It costs nothing on the cached path.
std::mutex zoneMutex;

std::time_t localMidnight(std::tm day)
{
    day.tm_hour = 0;
    day.tm_min = 0;
    day.tm_sec = 0;
    day.tm_isdst = -1; // let mktime find out whether daylight saving applies then
    return std::mktime(&day);
}

DaySpan spanOf(std::time_t when, std::uint64_t clockId)
{
    std::lock_guard lock(zoneMutex);
    std::tm parts{};
    localtime_r(&when, &parts);
    DaySpan span;
    span.clockId = clockId;
    span.date = LocalDate{parts.tm_year + 1900, parts.tm_mon, parts.tm_mday};
    span.start = localMidnight(parts);
    std::tm next = parts;
    next.tm_mday += 1; // mktime normalises 32 January and 1 January of the next year alike
    span.end = localMidnight(next);
    if (span.start == -1 || span.end == -1 || span.start > when || span.end <= when) {
        // A zone whose midnight does not exist on that day: cache just this second.
        span.start = when;
        span.end = when + 1;
        span.fixedHour = parts.tm_hour;
        return span;
    }
    span.hourCount = std::clamp(int((span.end - span.start + 1800) / 3600), 1, 25);
    return span;
}

} // namespace

DayClock::DayClock() : DayClock([] { return std::time(nullptr); }) {}

DayClock::DayClock(NowFunction source) : nowSource(std::move(source)), id(nextClockId++) {}

std::time_t DayClock::now() const
{
    return nowSource();
}

LocalDate DayClock::dateAt(std::time_t when)
{
    std::lock_guard lock(zoneMutex);
    std::tm parts{};
    localtime_r(&when, &parts);
    return LocalDate{parts.tm_year + 1900, parts.tm_mon, parts.tm_mday};
}

LocalDate DayClock::today() const
{
    return hourNow().date;
}

LocalHour DayClock::hourNow() const
{
    const std::time_t when = now();
    DaySpan& span = cachedSpan;
    if (span.clockId != id || when < span.start || when >= span.end)
        span = spanOf(when, id);
    if (span.fixedHour >= 0)
        return LocalHour{span.date, span.fixedHour, 24};
    return LocalHour{span.date, std::min(int((when - span.start) / 3600), span.hourCount - 1), span.hourCount};
}

namespace {
std::time_t localNoonOf(const LocalDate& date, int dayOffset)
{
    std::tm parts{};
    parts.tm_year = date.year - 1900;
    parts.tm_mon = date.month;
    parts.tm_mday = date.day + dayOffset;
    parts.tm_hour = 12;
    parts.tm_isdst = -1;
    std::lock_guard lock(zoneMutex);
    return std::mktime(&parts);
}
} // namespace

int DayClock::hoursInDay(const LocalDate& date)
{
    const std::time_t noon = localNoonOf(date, 0);
    const DaySpan span = spanOf(noon, 0);
    return span.fixedHour >= 0 ? 24 : span.hourCount;
}

int DayClock::clockHourOf(const LocalDate& date, int hour)
{
    const DaySpan span = spanOf(localNoonOf(date, 0), 0);
    if (span.fixedHour >= 0)
        return hour;
    const std::time_t when = span.start + std::time_t(hour) * 3600;
    std::lock_guard lock(zoneMutex);
    std::tm parts{};
    localtime_r(&when, &parts);
    return parts.tm_hour;
}

LocalDate DayClock::shiftedDate(const LocalDate& date, int days)
{
    return dateAt(localNoonOf(date, days));
}

const DayClock& DayClock::system()
{
    static const DayClock clock;
    return clock;
}
