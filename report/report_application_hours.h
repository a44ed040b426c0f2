#pragma once
// `--report --hours DATE --by app`: each profile's applications on that day, busiest first, each
// with its hours, from the usage database.

#include "report/report_format.h"
#include "usage/usage_database.h"

#include <string>
#include <vector>

struct ApplicationHoursReport {
    std::string profile;
    std::vector<NamedHours> applications; // busiest first
};

// Table: a block per profile (title, column heads, a row per application with its day, each
// followed by its hours with traffic, indented; Total). CSV: one row per profile, application
// and hour with traffic. JSON: the shape of `--by app` ("applications" in each profile, of
// {"application": NAME, "downloaded": B, "uploaded": B, "total": B}) with the hours of `--hours`
// in each application: "rows" of {"hour": "YYYY-MM-DDTHH", "downloaded": B, "uploaded": B,
// "total": B}.
std::string formatApplicationHours(ReportFormat format, const std::vector<ApplicationHoursReport>& reports,
                                   const ReportPeriod& period, const ReportUnit& unit);
