#include "report/report_period.h"

#include <cctype>
#include <cstdio>

namespace {

bool allDigits(const std::string& text, std::size_t from, std::size_t count)
{
    if (text.size() < from + count)
        return false;
    for (std::size_t i = from; i < from + count; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

int number(const std::string& text, std::size_t from, std::size_t count)
{
    return std::stoi(text.substr(from, count));
}

bool hasTraffic(const DayTotals& day)
{
    return day.down > 0 || day.up > 0;
}

} // namespace

std::optional<ReportPeriod> parseReportMonth(const std::string& text)
{
    if (text.size() != 7 || text[4] != '-' || !allDigits(text, 0, 4) || !allDigits(text, 5, 2))
        return std::nullopt;
    const int month = number(text, 5, 2);
    if (month < 1 || month > 12)
        return std::nullopt;
    return ReportPeriod{number(text, 0, 4), month - 1};
}

std::optional<ReportPeriod> parseReportYear(const std::string& text)
{
    if (text.size() != 4 || !allDigits(text, 0, 4))
        return std::nullopt;
    return ReportPeriod{number(text, 0, 4), -1};
}

std::string periodText(const ReportPeriod& period)
{
    char text[32];
    if (period.isWholeYear())
        std::snprintf(text, sizeof text, "%04d", period.year);
    else
        std::snprintf(text, sizeof text, "%04d-%02d", period.year, period.month + 1);
    return text;
}

ProfileReport profileReport(const CProfile& profile, const ReportPeriod& period)
{
    ProfileReport report;
    report.name = profile.name;
    const YearHistory* record = profile.findYear(period.year);
    if (record == nullptr)
        return report;
    const int firstMonth = period.isWholeYear() ? 0 : period.month;
    const int lastMonth = period.isWholeYear() ? 11 : period.month;
    for (int month = firstMonth; month <= lastMonth; ++month) {
        ReportRow monthRow{month};
        for (int day = 1; day <= YearHistory::kDaysPerMonth; ++day) {
            const DayTotals& totals = record->days[YearHistory::slotOf(month, day)];
            if (!hasTraffic(totals))
                continue;
            if (!period.isWholeYear())
                report.rows.push_back({day, totals.down, totals.up});
            monthRow.down += totals.down;
            monthRow.up += totals.up;
        }
        if (period.isWholeYear() && (monthRow.down > 0 || monthRow.up > 0))
            report.rows.push_back(monthRow);
        report.down += monthRow.down;
        report.up += monthRow.up;
    }
    return report;
}
