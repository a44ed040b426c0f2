#pragma once
// The calendar span a quota runs over: one day, or a month from its start day to the day
// before it in the next month.

#include "profile/day_clock.h"

#include <string>

enum class QuotaPeriod { Day, Month };

struct QuotaSpan {
    LocalDate start;
    LocalDate end;       // the last day, inclusive
    int days = 1;        // days from start to end, both counted
    int elapsedDays = 1; // days from start to today, both counted (1 on the first day)
};

// Days since 1970-01-01 of a date (negative before it); the inverse of dateFromDayNumber.
long long dayNumber(const LocalDate& date);
LocalDate dateFromDayNumber(long long days);
int daysInMonth(int year, int month); // month 0 = January

// The span holding `today`. For a month, `startDay` (1-28) is the day it begins; the span runs
// to the day before `startDay` in the next month, across the year's turn where it falls.
// Whatever start day a quota had before, the span is the one its current start day gives.
QuotaSpan quotaSpan(QuotaPeriod period, int startDay, const LocalDate& today);

// "2026-12-15".
std::string isoDate(const LocalDate& date);
// "15 Dec".
std::string shortDate(const LocalDate& date);
