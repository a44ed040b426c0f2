#include "quota/quota_period.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::array<const char*, 12> kMonthAbbreviations{
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

// Howard Hinnant's days_from_civil and civil_from_days, on the proleptic Gregorian calendar.
long long dayNumber(const LocalDate& date)
{
    const long long m = date.month + 1;
    const long long y = date.year - (m <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yearOfEra = y - era * 400;
    const long long dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

LocalDate dateFromDayNumber(long long days)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9); // 1..12
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return LocalDate{static_cast<int>(year), month - 1, day};
}

int daysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 1 && leap ? 29 : kDays[static_cast<std::size_t>(month)];
}

QuotaSpan quotaSpan(QuotaPeriod period, int startDay, const LocalDate& today)
{
    QuotaSpan span;
    if (period == QuotaPeriod::Day) {
        span.start = span.end = today;
        return span;
    }
    startDay = std::clamp(startDay, 1, 28);
    LocalDate start{today.year, today.month, startDay};
    if (today.day < startDay) { // the span began in the month before
        start.month = today.month == 0 ? 11 : today.month - 1;
        start.year = today.month == 0 ? today.year - 1 : today.year;
    }
    const LocalDate nextStart{start.month == 11 ? start.year + 1 : start.year, (start.month + 1) % 12, startDay};
    const long long first = dayNumber(start);
    const long long next = dayNumber(nextStart);
    span.start = start;
    span.end = dateFromDayNumber(next - 1);
    span.days = static_cast<int>(next - first);
    span.elapsedDays = static_cast<int>(dayNumber(today) - first + 1);
    return span;
}

std::string isoDate(const LocalDate& date)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month + 1, date.day);
    return text;
}

std::string shortDate(const LocalDate& date)
{
    return std::to_string(date.day) + " " + kMonthAbbreviations[static_cast<std::size_t>(std::clamp(date.month, 0, 11))];
}
