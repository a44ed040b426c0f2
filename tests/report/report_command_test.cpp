// The report command over a data directory: what it refuses, and that it reads without
// writing.

#include "profile/profile_files_support.h"
#include "report/report_command.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A profile file that cannot be read is named on stderr and the status says the report is
// incomplete; the profiles that could be read are still reported.
TEST(ReportCommand, NamesTheFilesItLeftOutAndEndsIncomplete)
{
    DataDirectory data;
    const std::filesystem::path profiles = data.path / "profiles";
    writeFile(profiles / "Broken.xml", "<Profiles><Profile Name=\"Broken\">");
    writeFile(profiles / "Latin.xml", std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Profiles "
                                                  "Name=\"\xff\xfe\"/>"));
    writeFile(profiles / "Huge.xml", "");
    std::filesystem::resize_file(profiles / "Huge.xml", 17u << 20);
    ReportRequest csv = request(data);
    csv.format = "csv";
    csv.profile = "Office";
    const Outcome outcome = run(csv);
    EXPECT_EQ(outcome.status, kReportIncomplete);
    EXPECT_NE(outcome.out.find("Office,2026-03-03,MB,1.50"), std::string::npos) << outcome.out;
    for (const char* file : {"Broken.xml", "Latin.xml", "Huge.xml"})
        EXPECT_NE(outcome.err.find((profiles / file).string() + " left out of the report"), std::string::npos)
            << file << ": " << outcome.err;
    EXPECT_NE(outcome.err.find("larger than 4 MiB"), std::string::npos) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 3) << outcome.err;
}
