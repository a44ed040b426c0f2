#include "profile/day_clock.h"

#include <mutex>

namespace {

std::atomic<std::uint64_t> nextClockId{1};

struct DaySpan {
    std::uint64_t clockId = 0;
    std::time_t start = 0; // first second of the day, local time
    std::time_t end = 0;   // first second of the next day
    LocalDate date;
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
    }
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
    const std::time_t when = now();
    DaySpan& span = cachedSpan;
    if (span.clockId != id || when < span.start || when >= span.end)
        span = spanOf(when, id);
    return span.date;
}

const DayClock& DayClock::system()
{
    static const DayClock clock;
    return clock;
}
