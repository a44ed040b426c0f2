#include "report/report_application_hours.h"

#include "profile/profile_writer.h"

namespace {

std::string amount(double bytes, const ReportUnit& unit)
{
    return amountText(bytes, unit.divisor);
}

std::string jsonAmounts(std::uint64_t down, std::uint64_t up)
{
    return "\"downloaded\": " + std::to_string(down) + ", \"uploaded\": " + std::to_string(up) +
           ", \"total\": " + std::to_string(down + up);
}

std::string table(const std::vector<ApplicationHoursReport>& reports, const ReportPeriod& period,
                  const ReportUnit& unit)
{
    std::string out;
    for (const ApplicationHoursReport& report : reports) {
        if (!out.empty())
            out += '\n';
        out += report.profile + ", " + std::to_string(period.day) + " " + kMonthNames[period.month] + " " +
               std::to_string(period.year) + ", by the hour (" + unit.name + ")\n";
        std::vector<ReportTableLine> lines{{"Application, hour", "Downloaded", "Uploaded", "Total"}};
        double down = 0, up = 0;
        for (const NamedHours& application : report.applications) {
            const ProfileReport hours = hoursReport(application.name, period, application.hours);
            lines.push_back({application.name, amount(hours.down, unit), amount(hours.up, unit),
                             amount(hours.down + hours.up, unit)});
            for (const ReportRow& row : hours.rows)
                lines.push_back({"  " + row.label, amount(row.down, unit), amount(row.up, unit),
                                 amount(row.down + row.up, unit)});
            down += hours.down;
            up += hours.up;
        }
        lines.push_back({"Total", amount(down, unit), amount(up, unit), amount(down + up, unit)});
        appendReportTable(out, lines);
    }
    return out;
}

std::string csv(const std::vector<ApplicationHoursReport>& reports, const ReportPeriod& period,
                const ReportUnit& unit)
{
    std::string out = "profile,hour,application,unit,downloaded,uploaded,total\r\n";
    for (const ApplicationHoursReport& report : reports)
        for (const NamedHours& application : report.applications)
            for (const ReportRow& row : hoursReport(application.name, period, application.hours).rows) {
                appendCsvField(out, report.profile);
                out += ',' + row.date + ',';
                appendCsvField(out, application.name);
                out += std::string(",") + unit.name + ',' + amount(row.down, unit) + ',' + amount(row.up, unit) + ',' +
                       amount(row.down + row.up, unit) + "\r\n";
            }
    return out;
}

std::string json(const std::vector<ApplicationHoursReport>& reports, const ReportPeriod& period)
{
    std::string out = "{\n  \"period\": \"" + periodText(period) + "\",\n  \"profiles\": [";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += "    {\n      \"name\": ";
        appendJsonString(out, reports[i].profile);
        out += ",\n      \"applications\": [";
        const std::vector<NamedHours>& applications = reports[i].applications;
        for (std::size_t a = 0; a < applications.size(); ++a) {
            const HourCounts sum = sumOf(applications[a].hours);
            out += a == 0 ? "\n        {\"application\": " : ",\n        {\"application\": ";
            appendJsonString(out, applications[a].name);
            out += ", " + jsonAmounts(sum.down, sum.up) + ", \"rows\": [";
            const ProfileReport hours = hoursReport(applications[a].name, period, applications[a].hours);
            for (std::size_t r = 0; r < hours.rows.size(); ++r) {
                const ReportRow& row = hours.rows[r];
                out += r == 0 ? "\n          {\"hour\": \"" : ",\n          {\"hour\": \"";
                out += row.date + "\", " + jsonAmounts(std::uint64_t(row.down), std::uint64_t(row.up)) + "}";
            }
            out += hours.rows.empty() ? "]}" : "\n        ]}";
        }
        out += applications.empty() ? "]\n    }" : "\n      ]\n    }";
    }
    out += reports.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

} // namespace

std::string formatApplicationHours(ReportFormat format, const std::vector<ApplicationHoursReport>& reports,
                                   const ReportPeriod& period, const ReportUnit& unit)
{
    switch (format) {
    case ReportFormat::Csv:
        return csv(reports, period, unit);
    case ReportFormat::Json:
        return json(reports, period);
    case ReportFormat::Table:
        break;
    }
    return table(reports, period, unit);
}
