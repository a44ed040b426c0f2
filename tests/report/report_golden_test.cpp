// The report's three texts over the golden profile files, byte for byte, against files under
// tests/report/golden/. Regenerate them with scripts/regen-golden and review the diff.

#include "support/profile_files.h"
#include "profile/profile_list.h"
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
    const char* period; // "YYYY-MM" or "YYYY"
    const char* unit;
    ReportFormat format;
};

const GoldenReport kReports[] = {
    {"month_2006_01_MB.txt", "2006-01", "MB", ReportFormat::Table}, // amounts under 0.01 MB
    {"year_2024_KB.txt", "2024", "KB", ReportFormat::Table},        // 1e+100 bytes, two profiles
    {"month_2025_03_B.csv", "2025-03", "B", ReportFormat::Csv},     // a name that needs quoting
    {"year_2006_KB.csv", "2006", "KB", ReportFormat::Csv},
    {"month_2024_06.json", "2024-06", "MB", ReportFormat::Json},    // halves, fractions, 1e+100
    {"year_2006.json", "2006", "KB", ReportFormat::Json},           // profiles without rows
};

} // namespace

TEST(ReportGolden, TextsAreTheGoldenFiles)
{
    const ProfileList profiles = goldenProfiles();
    const char* regenerate = std::getenv("VELMORA_REGEN_GOLDEN");
    for (const GoldenReport& golden : kReports) {
        const std::string periodText = golden.period;
        const std::optional<ReportPeriod> period =
            periodText.size() == 4 ? parseReportYear(periodText) : parseReportMonth(periodText);
        ASSERT_TRUE(period) << golden.file;
        std::vector<ProfileReport> reports;
        for (const CProfile& profile : profiles)
            reports.push_back(profileReport(profile, *period));
        const std::string text = formatReport(golden.format, reports, *period, *parseReportUnit(golden.unit));
        const std::filesystem::path file = kSourceDir / "tests/report/golden" / golden.file;
        if (regenerate && std::string(regenerate) == "1")
            writeFile(file, text);
        EXPECT_EQ(text, readFile(file)) << golden.file;
    }
}
