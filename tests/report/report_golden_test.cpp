// The report's three texts over the golden profile files, byte for byte, against files under
// tests/report/golden/. Regenerate them with scripts/regen-golden and review the diff.

#include "support/profile_files.h"
#include "support/time_zone.h"
#include "profile/profile_list.h"
#include "report/report_application_hours.h"
#include "report/report_format.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const std::filesystem::path kSourceDir(VELMORA_SOURCE_DIR);

// The golden profile files in name order (the store's directory order depends on the file
// system; the formatting is what is checked here).
ProfileList goldenProfiles()
{
    const char* files[] = {"denied_port.xml",      "empty_filters.xml", "escaped_names.xml",
                           "example.xml",          "exponent_amounts.xml", "year_edges.xml"};
    ProfileList profiles;
    for (const char* file : files) {
        CProfile profile;
        EXPECT_TRUE(profile.load((kSourceDir / "tests/profile/golden" / file).string())) << file;
        profiles.push_back(std::move(profile));
    }
    return profiles;
}

struct GoldenReport {
    const char* file;
    const char* period; // "YYYY-MM", "YYYY", or "YYYY-MM-DD" for a day's hours
    const char* unit;
    ReportFormat format;
    int topDays = 0;
    bool byApplication = false; // with a day: the applications' hours (Amounts': kHours and a second)
};

// A day's hours for the hours reports: the day US Eastern time sets the clocks back, so it has
// two 01:00 hours (index 1 and 2).
const DayHourCounts kHours = [] {
    DayHourCounts hours(25);
    hours[0] = {1500, 20};
    hours[1] = {2000000, 3000};
    hours[2] = {999999, 0};
    hours[24] = {0, 123456789};
    return hours;
}();

const GoldenReport kReports[] = {
    {"month_2006_01_MB.txt", "2006-01", "MB", ReportFormat::Table}, // amounts under 0.01 MB
    {"year_2024_KB.txt", "2024", "KB", ReportFormat::Table},        // 1e+100 bytes, two profiles
    {"month_2025_03_B.csv", "2025-03", "B", ReportFormat::Csv},     // a name that needs quoting
    {"year_2006_KB.csv", "2006", "KB", ReportFormat::Csv},
    {"month_2024_06.json", "2024-06", "MB", ReportFormat::Json},    // halves, fractions, 1e+100
    {"year_2006.json", "2006", "KB", ReportFormat::Json},           // profiles without rows
    {"year_2024_top_3_KB.txt", "2024", "KB", ReportFormat::Table, 3}, // the busiest days of a year
    {"month_2024_06_top_4_B.csv", "2024-06", "B", ReportFormat::Csv, 4},
    {"month_2024_06_top_2.json", "2024-06", "MB", ReportFormat::Json, 2},
    {"hours_2026_11_01_KB.txt", "2026-11-01", "KB", ReportFormat::Table}, // 25 hours, two 01:00
    {"hours_2026_11_01_B.csv", "2026-11-01", "B", ReportFormat::Csv},
    {"hours_2026_11_01.json", "2026-11-01", "MB", ReportFormat::Json},
    {"hours_by_app_2026_11_01.json", "2026-11-01", "MB", ReportFormat::Json, 0, true},
};

std::vector<ApplicationHoursReport> applicationHours(const ProfileList& profiles)
{
    std::vector<ApplicationHoursReport> reports;
    for (const CProfile& profile : profiles) {
        reports.push_back({profile.name, {}});
        if (profile.name == "Amounts") {
            DayHourCounts quiet(25);
            quiet[2] = {17, 1};
            reports.back().applications = {{"Firefox Web Browser", kHours}, {"System", quiet}, {"idle \"one\"", {}}};
        }
    }
    return reports;
}

} // namespace

TEST(ReportGolden, TextsAreTheGoldenFiles)
{
    const ProfileList profiles = goldenProfiles();
    const char* regenerate = std::getenv("VELMORA_REGEN_GOLDEN");
    const TimeZoneForTest zone(kEasternTime);
    for (const GoldenReport& golden : kReports) {
        const std::string periodText = golden.period;
        std::optional<ReportPeriod> period = periodText.size() == 4   ? parseReportYear(periodText)
                                             : periodText.size() == 7 ? parseReportMonth(periodText)
                                                                      : parseReportDay(periodText);
        ASSERT_TRUE(period) << golden.file;
        period->topDays = golden.topDays;
        std::vector<ProfileReport> reports;
        for (const CProfile& profile : profiles)
            reports.push_back(period->isHours() ? hoursReport(profile.name, *period,
                                                              profile.name == "Amounts" ? kHours : DayHourCounts())
                                                : profileReport(profile, *period));
        const ReportUnit unit = *parseReportUnit(golden.unit);
        const std::string text = golden.byApplication
                                     ? formatApplicationHours(golden.format, applicationHours(profiles), *period, unit)
                                     : formatReport(golden.format, reports, *period, unit);
        const std::filesystem::path file = kSourceDir / "tests/report/golden" / golden.file;
        if (regenerate && std::string(regenerate) == "1")
            writeFile(file, text);
        EXPECT_EQ(text, readFile(file)) << golden.file;
    }
}
