#include "report/report_period.h"

#include <cctype>
#include <cstdio>
#include <utility>

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

std::optional<ReportPeriod> parseReportDay(const std::string& text)
{
    if (text.size() != 10 || text[7] != '-')
        return std::nullopt;
    std::optional<ReportPeriod> period = parseReportMonth(text.substr(0, 7));
    if (!period || !allDigits(text, 8, 2))
        return std::nullopt;
    period->day = number(text, 8, 2);
    const LocalDate date{period->year, period->month, period->day};
    if (period->day < 1 || DayClock::shiftedDate(date, 0) != date)
        return std::nullopt; // 31 April and the like
    return period;
}

std::string periodText(const ReportPeriod& period)
{
    char text[32];
    if (period.isHours())
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", period.year, period.month + 1, period.day);
    else if (period.isWholeYear())
        std::snprintf(text, sizeof text, "%04d", period.year);
    else
        std::snprintf(text, sizeof text, "%04d-%02d", period.year, period.month + 1);
    return text;
}

namespace {

std::string dayText(int year, int month, int day)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month + 1, day);
    return text;
}

ReportRow periodRow(const ReportPeriod& period, const PeriodRow& row)
{
    if (period.isWholeYear()) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d", period.year, row.index + 1);
        return {kMonthNames[std::size_t(row.index)], text, row.down, row.up};
    }
    return {std::to_string(row.index), dayText(period.year, period.month, row.index), row.down, row.up};
}

void addUpRows(ProfileReport& report)
{
    for (const ReportRow& row : report.rows) {
        report.down += row.down;
        report.up += row.up;
    }
}

} // namespace

ProfileReport profileReport(const CProfile& profile, const ReportPeriod& period)
{
    ProfileReport report{profile.name, {}, 0, 0, {}};
    if (period.topDays <= 0) {
        const PeriodSums sums = periodSums(profile, period.year, period.month);
        for (const PeriodRow& row : sums.rows)
            report.rows.push_back(periodRow(period, row));
        report.down = sums.down;
        report.up = sums.up;
        return report;
    }
    std::vector<std::pair<double, ReportRow>> days;
    const int firstMonth = period.isWholeYear() ? 0 : period.month;
    const int lastMonth = period.isWholeYear() ? 11 : period.month;
    for (int month = firstMonth; month <= lastMonth; ++month)
        for (const PeriodRow& row : periodSums(profile, period.year, month).rows) {
            const std::string date = dayText(period.year, month, row.index);
            days.push_back({row.down + row.up, {date, date, row.down, row.up}});
        }
    std::stable_sort(days.begin(), days.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = 0; i < days.size() && i < std::size_t(period.topDays); ++i)
        report.rows.push_back(std::move(days[i].second));
    addUpRows(report);
    return report;
}

ProfileReport hoursReport(const std::string& name, const ReportPeriod& period, const DayHourCounts& hours)
{
    ProfileReport report{name, {}, 0, 0, {}};
    const LocalDate date{period.year, period.month, period.day};
    for (std::size_t hour = 0; hour < hours.size(); ++hour) {
        if (hours[hour] == HourCounts())
            continue;
        char label[8];
        std::snprintf(label, sizeof label, "%02d", DayClock::clockHourOf(date, int(hour)));
        report.rows.push_back({label, periodText(period) + "T" + label, double(hours[hour].down),
                               double(hours[hour].up)});
    }
    addUpRows(report);
    return report;
}

const char* rowHeading(const ReportPeriod& period)
{
    return period.isHours() ? "Hour" : period.isWholeYear() && period.topDays <= 0 ? "Month" : "Day";
}

const char* rowDateKey(const ReportPeriod& period)
{
    return period.isHours() ? "hour" : "date";
}
