// The report command over a data directory: what it refuses, and that it reads without
// writing.

#include "profile/profile_files_support.h"
#include "report/report_command.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// A data directory whose profiles/ holds Office, with traffic on two days of March 2026.
struct DataDirectory : TempDir {
    DataDirectory()
    {
        std::filesystem::create_directory(path / "profiles");
        CProfile office;
        office.setName("Office");
        office.addToDayHistory(1500000, true, LocalDate{2026, 2, 3});
        office.addToDayHistory(5, false, LocalDate{2026, 2, 17});
        office.save((path / "profiles").string());
    }
};

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(ReportRequest request)
{
    std::ostringstream out, err;
    const int status = runReport(request, out, err);
    return {status, out.str(), err.str()};
}

ReportRequest request(const DataDirectory& data)
{
    ReportRequest request;
    request.dataDirectory = data.path;
    request.today = LocalDate{2026, 2, 20};
    return request;
}

} // namespace

TEST(ReportCommand, RefusesWithOneLineAndStatusTwo)
{
    DataDirectory data;
    struct Case {
        const char* what;
        void (*change)(ReportRequest&);
        const char* error;
    };
    const Case cases[] = {
        {"unknown profile", [](ReportRequest& r) { r.profile = "office"; }, "no profile named \"office\""},
        {"month 13", [](ReportRequest& r) { r.month = "2026-13"; }, "malformed month \"2026-13\""},
        {"month 00", [](ReportRequest& r) { r.month = "2026-00"; }, "malformed month"},
        {"trailing text", [](ReportRequest& r) { r.month = "2026-03x"; }, "malformed month"},
        {"signed month", [](ReportRequest& r) { r.month = "2026-+3"; }, "malformed month"},
        {"month name", [](ReportRequest& r) { r.month = "March"; }, "malformed month"},
        {"short year", [](ReportRequest& r) { r.year = "26"; }, "malformed year \"26\""},
        {"month and year", [](ReportRequest& r) { r.month = "2026-03"; r.year = "2026"; }, "exclude each other"},
        {"binary unit", [](ReportRequest& r) { r.unit = "MiB"; }, "unknown unit \"MiB\""},
        {"format", [](ReportRequest& r) { r.format = "xml"; }, "unknown format \"xml\""},
        {"no profiles/", [](ReportRequest& r) { r.dataDirectory /= "missing"; }, "no profile directory"},
    };
    for (const Case& c : cases) {
        ReportRequest changed = request(data);
        c.change(changed);
        const Outcome outcome = run(changed);
        EXPECT_EQ(outcome.status, kReportUsageError) << c.what;
        EXPECT_EQ(outcome.out, "") << c.what;
        EXPECT_NE(outcome.err.find(c.error), std::string::npos) << c.what << ": " << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << c.what << ": one line";
    }
}

TEST(ReportCommand, ReportsThisMonthOfTheDataDirectoryWithoutWritingThere)
{
    DataDirectory data;
    const auto before = std::filesystem::last_write_time(data.path / "profiles");
    ReportRequest csv = request(data);
    csv.format = "csv";
    csv.profile = "Office";
    const Outcome outcome = run(csv);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "profile,date,unit,downloaded,uploaded,total\r\n"
                           "Office,2026-03-03,MB,1.50,0.00,1.50\r\n"
                           "Office,2026-03-17,MB,0.00,0.00,0.00\r\n");
    // No Default.xml appears: the report never saves the profile the store adds.
    EXPECT_FALSE(std::filesystem::exists(data.path / "profiles" / "Default.xml"));
    EXPECT_EQ(std::filesystem::last_write_time(data.path / "profiles"), before);
}
