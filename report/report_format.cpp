#include "report/report_format.h"

#include "profile/profile_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

std::string amountText(double bytes, const ReportUnit& unit)
{
    return ::amountText(bytes, unit.divisor);
}

std::string wholeBytes(double bytes)
{
    char text[512];
    std::snprintf(text, sizeof text, "%.0f", bytes);
    return text;
}

std::string periodTitle(const ReportPeriod& period)
{
    std::string title = period.isWholeYear() ? std::to_string(period.year)
                                             : std::string(kMonthNames[period.month]) + " " + std::to_string(period.year);
    if (period.isHours())
        title = std::to_string(period.day) + " " + title + ", by the hour";
    else if (period.topDays > 0)
        title += ", the " + std::to_string(period.topDays) + " busiest days";
    return title;
}

void appendJsonAmounts(std::string& out, double down, double up)
{
    out += "\"downloaded\": " + wholeBytes(down) + ", \"uploaded\": " + wholeBytes(up) +
           ", \"total\": " + wholeBytes(down + up);
}

std::string quotaSpanText(const QuotaStatus& status)
{
    return isoDate(status.span.start) + " to " + isoDate(status.span.end);
}

// "Quota: 45.0 of 50.0 GB (90%), month 2026-12-15 to 2027-01-14, total, projected 61.0 GB".
std::string quotaTableLine(const QuotaStatus& status)
{
    const std::string projected = quotaAmountText(status.projected, status.quota.limitBytes);
    return std::string("Quota: ") + quotaAmountText(status.used, status.quota.limitBytes) + " (" +
           std::to_string(shownPercent(status)) + "%), " + periodName(status.quota.period) + " " +
           quotaSpanText(status) + ", " + directionName(status.quota.direction) + ", projected " +
           projected.substr(0, projected.find(" of ")) + projected.substr(projected.rfind(' ')) + "\n";
}

void appendJsonQuota(std::string& out, const char* key, const QuotaStatus& status)
{
    out += ",\n      \"";
    out += key;
    out += "\": {\"period\": \"" + std::string(periodName(status.quota.period)) + "\", \"start\": \"" +
           isoDate(status.span.start) + "\", \"end\": \"" + isoDate(status.span.end) + "\", \"direction\": \"" +
           directionName(status.quota.direction) + "\", \"limit\": " + std::to_string(status.quota.limitBytes) +
           ", \"used\": " + wholeBytes(std::nearbyint(status.used)) + ", \"projected\": " +
           wholeBytes(status.projected) + "}";
}

} // namespace

void appendReportTable(std::string& out, const std::vector<ReportTableLine>& lines)
{
    std::array<std::size_t, 4> widths{};
    for (const ReportTableLine& line : lines)
        for (std::size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], line[column].size());
    for (const ReportTableLine& line : lines) {
        out += line[0];
        out.append(widths[0] - line[0].size(), ' ');
        for (std::size_t column = 1; column < widths.size(); ++column) {
            out.append(2 + widths[column] - line[column].size(), ' '); // numbers align right
            out += line[column];
        }
        out += '\n';
    }
}

void appendCsvField(std::string& out, const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendJsonString(std::string& out, const std::string& text)
{
    out += '"';
    for (unsigned char c : storableText(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::optional<ReportUnit> parseReportUnit(const std::string& text)
{
    for (const SizeUnit& unit : kSizeUnits)
        if (text == unit.symbol)
            return ReportUnit{unit.symbol, unit.divisor};
    return std::nullopt;
}

std::optional<ReportFormat> parseReportFormat(const std::string& text)
{
    if (text == "table")
        return ReportFormat::Table;
    if (text == "csv")
        return ReportFormat::Csv;
    if (text == "json")
        return ReportFormat::Json;
    return std::nullopt;
}

std::string reportTable(const std::vector<ProfileReport>& reports, const ReportPeriod& period,
                        const ReportUnit& unit)
{
    std::string out;
    for (const ProfileReport& report : reports) {
        if (!out.empty())
            out += '\n';
        out += report.name + ", " + periodTitle(period) + " (" + unit.name + ")\n";
        std::vector<ReportTableLine> lines{
            {rowHeading(period), "Total Downloaded", "Total Uploaded", "Total"}};
        for (const ReportRow& row : report.rows)
            lines.push_back({row.label, amountText(row.down, unit), amountText(row.up, unit),
                             amountText(row.down + row.up, unit)});
        lines.push_back({"Total", amountText(report.down, unit), amountText(report.up, unit),
                         amountText(report.down + report.up, unit)});
        appendReportTable(out, lines);
        for (const QuotaStatus& status : report.quotas)
            out += quotaTableLine(status);
    }
    return out;
}

std::string reportCsv(const std::vector<ProfileReport>& reports, const ReportPeriod& period,
                      const ReportUnit& unit)
{
    std::string out = std::string("profile,") + rowDateKey(period) + ",unit,downloaded,uploaded,total\r\n";
    for (const ProfileReport& report : reports) {
        for (const ReportRow& row : report.rows) {
            appendCsvField(out, report.name);
            out += ',' + row.date + ',' + unit.name + ',' + amountText(row.down, unit) +
                   ',' + amountText(row.up, unit) + ',' + amountText(row.down + row.up, unit) +
                   "\r\n";
        }
    }
    // The quotas, when there are any, as a second table after an empty line.
    bool quotaHeader = false;
    for (const ProfileReport& report : reports) {
        for (const QuotaStatus& status : report.quotas) {
            if (!std::exchange(quotaHeader, true))
                out += "\r\nprofile,quota_period,start,end,direction,limit_bytes,used_bytes,projected_bytes\r\n";
            appendCsvField(out, report.name);
            out += std::string(",") + periodName(status.quota.period) + ',' + isoDate(status.span.start) + ',' +
                   isoDate(status.span.end) + ',' + directionName(status.quota.direction) + ',' +
                   std::to_string(status.quota.limitBytes) + ',' + wholeBytes(std::nearbyint(status.used)) + ',' +
                   wholeBytes(status.projected) + "\r\n";
        }
    }
    return out;
}

std::string reportJson(const std::vector<ProfileReport>& reports, const ReportPeriod& period)
{
    std::string out = "{\n  \"period\": \"" + periodText(period) + "\",\n  \"profiles\": [";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const ProfileReport& report = reports[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\n      \"name\": ";
        appendJsonString(out, report.name);
        out += ",\n      \"rows\": [";
        double down = 0, up = 0;
        for (std::size_t r = 0; r < report.rows.size(); ++r) {
            const double rowDown = std::nearbyint(report.rows[r].down);
            const double rowUp = std::nearbyint(report.rows[r].up);
            out += r == 0 ? "\n" : ",\n";
            out += std::string("        {\"") + rowDateKey(period) + "\": \"" + report.rows[r].date + "\", ";
            appendJsonAmounts(out, rowDown, rowUp);
            out += '}';
            down += rowDown;
            up += rowUp;
        }
        out += report.rows.empty() ? "],\n      " : "\n      ],\n      ";
        appendJsonAmounts(out, down, up);
        // "quota": the month quota, or the day quota when there is none; "day_quota" beside a
        // month one.
        for (std::size_t q = 0; q < report.quotas.size(); ++q)
            appendJsonQuota(out, q == 0 ? "quota" : "day_quota", report.quotas[q]);
        out += "\n    }";
    }
    out += reports.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string formatReport(ReportFormat format, const std::vector<ProfileReport>& reports,
                         const ReportPeriod& period, const ReportUnit& unit)
{
    switch (format) {
    case ReportFormat::Csv:
        return reportCsv(reports, period, unit);
    case ReportFormat::Json:
        return reportJson(reports, period);
    case ReportFormat::Table:
        break;
    }
    return reportTable(reports, period, unit);
}
