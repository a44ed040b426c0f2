#pragma once
// The three texts of a report: an aligned table as the history window shows it, CSV
// (RFC 4180) and JSON (the schema in README.md). A profile's quotas follow its block in the
// table, fill a second table in the CSV, and are its "quota" object in JSON.

#include "report/report_period.h"

#include <array>
#include <string>
#include <vector>

enum class ReportFormat { Table, Csv, Json };

struct ReportUnit {
    const char* name; // as given on the command line: "B", "KB", "MB", "GB"
    double divisor;   // bytes per unit, powers of 1000
};

// "B", "KB", "MB" or "GB" (exactly); nullopt otherwise.
std::optional<ReportUnit> parseReportUnit(const std::string& text);
// "table", "csv" or "json" (exactly); nullopt otherwise.
std::optional<ReportFormat> parseReportFormat(const std::string& text);

// Every profile's block: a title line, the column heads, a row per day (month) with traffic
// and a Total row, amounts divided by the unit and written "%.2f"; a blank line between blocks.
std::string reportTable(const std::vector<ProfileReport>& reports, const ReportPeriod& period,
                        const ReportUnit& unit);
// A header row, then one row per profile and day (month) with traffic; no total rows. Lines end
// with CR LF; fields holding a comma, a quote or a line break are quoted, quotes doubled.
std::string reportCsv(const std::vector<ProfileReport>& reports, const ReportPeriod& period,
                      const ReportUnit& unit);
// Amounts as whole bytes whatever the unit: each day rounded, sums of the rounded days.
std::string reportJson(const std::vector<ProfileReport>& reports, const ReportPeriod& period);

// Pieces the other reports share: an aligned table of four columns (the first left-aligned,
// the numbers right-aligned), a CSV field quoted when it must be, a JSON string escaped.
using ReportTableLine = std::array<std::string, 4>;
void appendReportTable(std::string& out, const std::vector<ReportTableLine>& lines);
void appendCsvField(std::string& out, const std::string& field);
void appendJsonString(std::string& out, const std::string& text);

std::string formatReport(ReportFormat format, const std::vector<ProfileReport>& reports,
                         const ReportPeriod& period, const ReportUnit& unit);
