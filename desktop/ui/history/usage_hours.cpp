#include "desktop/ui/history/usage_hours.h"

#include <memory>

CHistoryDlg::DayHours usageDayHours(const std::filesystem::path& usageFile)
{
    auto usage = std::make_shared<UsageDatabase>();
    return [usage, usageFile](const std::string& profile, const LocalDate& date) {
        CHistoryDlg::HoursOfDay shown;
        if (!usage->isOpen() && !usage->openForReading(usageFile))
            return shown;
        const DayHourCounts hours = usage->dayHours(profile, date);
        shown.hourCount = int(hours.size());
        for (std::size_t hour = 0; hour < hours.size(); ++hour) {
            const HourCounts& counts = hours[hour];
            if (counts.down == 0 && counts.up == 0)
                continue;
            shown.sums.rows.push_back({int(hour), double(counts.down), double(counts.up)});
            shown.sums.down += double(counts.down);
            shown.sums.up += double(counts.up);
        }
        return shown;
    };
}
