#pragma once
// `--report --by app` and `--by interface`: each profile's applications (or interfaces) over
// the period, from the usage database, busiest first; System is an application like the rest.

#include "report/report_format.h"
#include "usage/usage_database.h"

#include <optional>
#include <string>
#include <vector>

enum class ReportBy { Application, Interface };

// "app" or "interface" (exactly); nullopt otherwise.
std::optional<ReportBy> parseReportBy(const std::string& text);

struct NamedReport {
    std::string profile;
    std::vector<NamedTotals> rows; // by total, largest first; ties by name
};

// The period's first and last day.
LocalDate firstDayOf(const ReportPeriod& period);
LocalDate lastDayOf(const ReportPeriod& period);

// Table: a block per profile (title, column heads, a row per name, Total). CSV: one row per
// profile and name. JSON: "applications" (or "interfaces") in each profile, of
// {"application": NAME, "downloaded": B, "uploaded": B, "total": B} in whole bytes
// ("interface" and its "hardware_address" for interfaces).
std::string formatNamedReport(ReportFormat format, ReportBy by, const std::vector<NamedReport>& reports,
                              const ReportPeriod& period, const ReportUnit& unit);
