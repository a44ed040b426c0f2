#pragma once
// The report command: reads the profile files of a data directory (without taking its lock
// and without any capture right) and prints one month or one year of day totals, the busiest
// days of one, or the hours of a day (from usage.sqlite).

#include "profile/day_clock.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

struct ReportRequest {
    std::filesystem::path dataDirectory = "."; // holds profiles/
    std::optional<std::string> profile;        // every profile when not given
    std::optional<std::string> month;          // "YYYY-MM"
    std::optional<std::string> year;           // "YYYY"
    std::string unit = "MB";
    std::string format = "table";
    std::optional<std::string> by;             // "app", "interface": from usage.sqlite
    std::optional<std::string> hours;   // "YYYY-MM-DD": that day's hours instead of the period's days
    std::optional<std::string> topDays; // "N": the period's N busiest days, busiest first
    LocalDate today; // the month reported when neither month nor year is given
};

// Exit status of a request that cannot be answered: bad option values, an unknown profile,
// a data directory without profiles.
inline constexpr int kReportUsageError = 2;

// Exit status of a report printed without some of the profiles or quotas: a profile file that
// could not be read (unreadable, too large, not well-formed, over a limit), or a quotas.json
// that could not, is named on the error stream, and the report shows what could be read.
inline constexpr int kReportIncomplete = 3;

// Writes the report to `out` and returns 0 (kReportIncomplete when files were left out, each
// named on `err`), or writes one line to `err` and returns kReportUsageError.
int runReport(const ReportRequest& request, std::ostream& out, std::ostream& err);
