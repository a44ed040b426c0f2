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
    PeriodSums sums = periodSums(profile, period.year, period.month);
    return ProfileReport{profile.name, std::move(sums.rows), sums.down, sums.up, {}};
}
