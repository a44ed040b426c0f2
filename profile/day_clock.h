#pragma once
// The local calendar date for the day history, read cheaply and injectable for tests.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>

struct LocalDate {
    int year = 1970;
    int month = 0; // 0 = January
    int day = 1;   // 1..31
    bool operator==(const LocalDate&) const = default;
    auto operator<=>(const LocalDate&) const = default;
};

// A local clock hour: the n-th hour since the day's local midnight, so that a day that sets the
// clocks back has 25 (its 01:00 hour twice) and one that sets them forward 23.
struct LocalHour {
    LocalDate date;
    int hour = 0;       // 0 to hourCount - 1
    int hourCount = 24; // hours in that day
};

// Gives the local date at the current moment. localtime_r costs 40-60 ns a call (microseconds
// with TZ unset) and takes a process-wide lock, so each thread keeps the day it last saw and
// the moments that day starts and ends, and only goes back to localtime_r when the clock leaves
// that span. The answer is the one localtime_r would give for the same second.
class DayClock {
public:
    using NowFunction = std::function<std::time_t()>;

    DayClock();                             // reads time(), the system's wall clock
    explicit DayClock(NowFunction nowSource); // tests stand wherever they like
    DayClock(const DayClock&) = delete;
    DayClock& operator=(const DayClock&) = delete;

    std::time_t now() const;
    LocalDate today() const;
    // Today and the hour of it, as cheap as today().
    LocalHour hourNow() const;
    static LocalDate dateAt(std::time_t when); // uncached, straight from localtime_r
    // The hours of a date (23 to 25), the clock hour (0 to 23) its n-th hour reads, and the date
    // `days` later (earlier when negative).
    static int hoursInDay(const LocalDate& date);
    static int clockHourOf(const LocalDate& date, int hour);
    static LocalDate shiftedDate(const LocalDate& date, int days);

    static const DayClock& system();

private:
    NowFunction nowSource;
    std::uint64_t id; // tells the per-thread caches of different clocks apart
};
