#pragma once
// What a report covers (one month or one year) and the sums it shows for one profile.

#include "profile/day_history.h"
#include "quota/quota_status.h"
#include "usage/hour_counts.h"

#include <optional>
#include <string>
#include <vector>

struct ReportPeriod {
    int year = 1970;
    int month = -1; // 0 = January; -1 for the whole year
    int day = 0;    // with --hours: the day (1 to 31) whose hours are reported
    int topDays = 0; // with --top-days: the period's busiest days instead of its days (months)
    bool isWholeYear() const { return month < 0; }
    bool isHours() const { return day > 0; }
};

// "YYYY-MM" with a month from 01 to 12, nothing more; nullopt otherwise.
std::optional<ReportPeriod> parseReportMonth(const std::string& text);
// "YYYY", nothing more; nullopt otherwise.
std::optional<ReportPeriod> parseReportYear(const std::string& text);
// "YYYY-MM-DD" of a real date, nothing more: that day's hours.
std::optional<ReportPeriod> parseReportDay(const std::string& text);
// "2026-03", "2026" or "2026-03-08": the form the parsers read.
std::string periodText(const ReportPeriod& period);

// One line of a report: a day of the month, a month of the year, one of the busiest days or an
// hour of a day.
struct ReportRow {
    std::string label; // the table's first column: "14", "January", "2026-03-08", "01"
    std::string date;  // the CSV's and JSON's: "2026-01-14", "2026-01", "2026-03-08T01"
    double down = 0;   // bytes
    double up = 0;
};

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
// history window lists them (periodSums); with topDays, the period's busiest days by total,
// busiest first (the earlier of equal days first). The sums are those of the rows.
ProfileReport profileReport(const CProfile& profile, const ReportPeriod& period);
// The hours of the period's day that saw traffic, each labelled with its clock hour (a day that
// sets the clocks back has two "01" rows).
ProfileReport hoursReport(const std::string& name, const ReportPeriod& period, const DayHourCounts& hours);
// What the first column is called, and the key of a row's date in JSON.
const char* rowHeading(const ReportPeriod& period);
const char* rowDateKey(const ReportPeriod& period);
