#include "report/report_by_name.h"

#include "profile/profile_writer.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* nameKey(ReportBy by)
{
    return by == ReportBy::Application ? "application" : "interface";
}

std::string wholeBytes(std::uint64_t bytes)
{
    return std::to_string(bytes);
}

std::string shownName(ReportBy by, const NamedTotals& row)
{
    if (by == ReportBy::Interface && !row.hardwareAddress.empty())
        return row.name + " (" + row.hardwareAddress + ")";
    return row.name;
}

std::string periodTitle(const ReportPeriod& period)
{
    if (period.isWholeYear())
        return std::to_string(period.year);
    return std::string(kMonthNames[period.month]) + " " + std::to_string(period.year);
}

std::string table(ReportBy by, const std::vector<NamedReport>& reports, const ReportPeriod& period,
                  const ReportUnit& unit)
{
    std::string out;
    for (const NamedReport& report : reports) {
        if (!out.empty())
            out += '\n';
        out += report.profile + ", " + periodTitle(period) + " (" + unit.name + ")\n";
        std::vector<ReportTableLine> lines{
            {by == ReportBy::Application ? "Application" : "Interface", "Downloaded", "Uploaded", "Total"}};
        std::uint64_t down = 0, up = 0;
        for (const NamedTotals& row : report.rows) {
            lines.push_back({shownName(by, row), amountText(double(row.down), unit.divisor),
                             amountText(double(row.up), unit.divisor), amountText(double(row.down + row.up), unit.divisor)});
            down += row.down;
            up += row.up;
        }
        lines.push_back({"Total", amountText(double(down), unit.divisor), amountText(double(up), unit.divisor),
                         amountText(double(down + up), unit.divisor)});
        appendReportTable(out, lines);
    }
    return out;
}

std::string csv(ReportBy by, const std::vector<NamedReport>& reports, const ReportPeriod& period,
                const ReportUnit& unit)
{
    std::string out = std::string("profile,period,") + nameKey(by) +
                      (by == ReportBy::Interface ? ",hardware_address" : "") + ",unit,downloaded,uploaded,total\r\n";
    for (const NamedReport& report : reports)
        for (const NamedTotals& row : report.rows) {
            appendCsvField(out, report.profile);
            out += ',' + periodText(period) + ',';
            appendCsvField(out, row.name);
            if (by == ReportBy::Interface)
                out += ',' + row.hardwareAddress;
            out += std::string(",") + unit.name + ',' + amountText(double(row.down), unit.divisor) + ',' +
                   amountText(double(row.up), unit.divisor) + ',' + amountText(double(row.down + row.up), unit.divisor) +
                   "\r\n";
        }
    return out;
}

std::string json(ReportBy by, const std::vector<NamedReport>& reports, const ReportPeriod& period)
{
    const std::string key = nameKey(by);
    std::string out = "{\n  \"period\": \"" + periodText(period) + "\",\n  \"profiles\": [";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += "    {\n      \"name\": ";
        appendJsonString(out, reports[i].profile);
        out += ",\n      \"" + key + "s\": [";
        const std::vector<NamedTotals>& rows = reports[i].rows;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            out += r == 0 ? "\n        {\"" : ",\n        {\"";
            out += key + "\": ";
            appendJsonString(out, rows[r].name);
            if (by == ReportBy::Interface) {
                out += ", \"hardware_address\": ";
                appendJsonString(out, rows[r].hardwareAddress);
            }
            out += ", \"downloaded\": " + wholeBytes(rows[r].down) + ", \"uploaded\": " + wholeBytes(rows[r].up) +
                   ", \"total\": " + wholeBytes(rows[r].down + rows[r].up) + "}";
        }
        out += rows.empty() ? "]\n    }" : "\n      ]\n    }";
    }
    out += reports.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

} // namespace

std::optional<ReportBy> parseReportBy(const std::string& text)
{
    if (text == "app")
        return ReportBy::Application;
    if (text == "interface")
        return ReportBy::Interface;
    return std::nullopt;
}

LocalDate firstDayOf(const ReportPeriod& period)
{
    return {period.year, period.isWholeYear() ? 0 : period.month, 1};
}

// Day 31 whatever the month: the database compares day keys (20260231 comes after every day
// of February and before 1 March).
LocalDate lastDayOf(const ReportPeriod& period)
{
    return {period.year, period.isWholeYear() ? 11 : period.month, 31};
}

std::string formatNamedReport(ReportFormat format, ReportBy by, const std::vector<NamedReport>& reports,
                              const ReportPeriod& period, const ReportUnit& unit)
{
    switch (format) {
    case ReportFormat::Csv:
        return csv(by, reports, period, unit);
    case ReportFormat::Json:
        return json(by, reports, period);
    case ReportFormat::Table:
        break;
    }
    return table(by, reports, period, unit);
}
