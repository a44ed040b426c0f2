#pragma once
// What a report covers (one month or one year) and the sums it shows for one profile.

#include "profile/day_history.h"
#include "quota/quota_status.h"

#include <optional>
#include <string>
#include <vector>

struct ReportPeriod {
    int year = 1970;
    int month = -1; // 0 = January; -1 for the whole year
    bool isWholeYear() const { return month < 0; }
};

// "YYYY-MM" with a month from 01 to 12, nothing more; nullopt otherwise.
std::optional<ReportPeriod> parseReportMonth(const std::string& text);
// "YYYY", nothing more; nullopt otherwise.
std::optional<ReportPeriod> parseReportYear(const std::string& text);
// "2026-03" or "2026": the form the two parsers read.
std::string periodText(const ReportPeriod& period);

// One line of a report: a day of the month (1..31), or a month of the year (0..11).
using ReportRow = PeriodRow;

struct ProfileReport {
    std::string name;
    std::vector<ReportRow> rows; // only days (months) with traffic, in calendar order
    double down = 0;             // the period's sums
    double up = 0;
    // The profile's quotas (a month one first) as they stand today, whatever period the report
    // covers; at most one per quota period.
    std::vector<QuotaStatus> quotas;
};

// The days of the month, or the months of the year, on which the profile saw traffic, as the
// history window lists them (periodSums).
ProfileReport profileReport(const CProfile& profile, const ReportPeriod& period);
