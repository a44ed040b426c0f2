#pragma once
// The process's time zone set for a test (TZ, then tzset), and set back when it ends.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

// The rules of US Eastern time without the zone files: 1 November 2026 sets the clocks back at
// 02:00, so that day has two 01:00 hours.
inline constexpr const char* kEasternTime = "EST5EDT,M3.2.0,M11.1.0";

class TimeZoneForTest {
public:
    explicit TimeZoneForTest(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            saved = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZoneForTest()
    {
        saved ? setenv("TZ", saved->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    TimeZoneForTest(const TimeZoneForTest&) = delete;
    TimeZoneForTest& operator=(const TimeZoneForTest&) = delete;

private:
    std::optional<std::string> saved;
};
