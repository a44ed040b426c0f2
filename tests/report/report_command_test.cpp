// The report command over a data directory: what it refuses, and that it reads without
// writing.

#include "support/profile_files.h"
#include "report/report_command.h"
#include "usage/usage_database.h"

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
        {"30 February", [](ReportRequest& r) { r.hours = "2026-02-30"; }, "malformed day \"2026-02-30\""},
        {"hours of a month", [](ReportRequest& r) { r.hours = "2026-03-03"; r.month = "2026-03"; }, "one day"},
        {"no busiest days", [](ReportRequest& r) { r.topDays = "0"; }, "malformed number of days \"0\""},
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

// A profile file that cannot be read is named on stderr with the reason, and the status says the
// report is incomplete; the profiles that could be read are still reported. A report of one
// profile reads only that profile's file.
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
    Outcome outcome = run(csv);
    EXPECT_EQ(outcome.status, kReportIncomplete);
    EXPECT_NE(outcome.out.find("Office,2026-03-03,MB,1.50"), std::string::npos) << outcome.out;
    const std::pair<const char*, const char*> reasons[] = {
        {"Broken.xml", "rejected by the XML parser at line 1, column "},
        {"Latin.xml", "rejected by the XML parser at line 1, column "},
        {"Huge.xml", "larger than 4 MiB"},
    };
    for (const auto& [file, reason] : reasons)
        EXPECT_NE(outcome.err.find((profiles / file).string() + " left out of the report: " + reason), std::string::npos)
            << file << ": " << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 3) << outcome.err;

    csv.profile = "Office";
    outcome = run(csv);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
}

// A profile's quota in the three formats, as it stands on the request's day; a bad quotas.json
// is one line and the report without quotas.
TEST(ReportCommand, ShowsEachQuotaInEveryFormat)
{
    DataDirectory data;
    writeFile(data.path / "quotas.json",
              R"({"quotas": [{"profile": "Office", "period": "day", "limit_bytes": 5},
                             {"profile": "Office", "period": "month", "start_day": 1, "limit_bytes": 2000000}]})");
    ReportRequest json = request(data);
    json.format = "json";
    Outcome outcome = run(json);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    // 1500005 bytes in 20 of March's 31 days.
    EXPECT_NE(outcome.out.find(R"("total": 1500005,
      "quota": {"period": "month", "start": "2026-03-01", "end": "2026-03-31", "direction": "total", "limit": 2000000, "used": 1500005, "projected": 2325007},
      "day_quota": {"period": "day", "start": "2026-03-20", "end": "2026-03-20", "direction": "total", "limit": 5, "used": 0, "projected": 0}
    })"), std::string::npos) << outcome.out;

    ReportRequest table = request(data);
    outcome = run(table);
    EXPECT_NE(outcome.out.find("Total              1.50            0.00   1.50\n"
                               "Quota: 1.5 of 2.0 MB (75%), month 2026-03-01 to 2026-03-31, total, projected 2.3 MB\n"
                               "Quota: 0 of 5 B (0%), day 2026-03-20 to 2026-03-20, total, projected 0 B\n"),
              std::string::npos)
        << outcome.out;

    ReportRequest csv = request(data);
    csv.format = "csv";
    outcome = run(csv);
    EXPECT_NE(outcome.out.find("Office,2026-03-17,MB,0.00,0.00,0.00\r\n\r\n"
                               "profile,quota_period,start,end,direction,limit_bytes,used_bytes,projected_bytes\r\n"
                               "Office,month,2026-03-01,2026-03-31,total,2000000,1500005,2325007\r\n"
                               "Office,day,2026-03-20,2026-03-20,total,5,0,0\r\n"),
              std::string::npos)
        << outcome.out;

    writeFile(data.path / "quotas.json", R"({"quotas": [{"profile": "Office", "period": "year", "limit_bytes": 5}]})");
    outcome = run(json);
    EXPECT_EQ(outcome.status, kReportIncomplete);
    EXPECT_EQ(outcome.out.find("quota"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.err, "velmora: " + (data.path / "quotas.json").string() +
                               ": quotas[0].period: must be \"day\" or \"month\"; running without quotas\n");
}

// --by app and --by interface: the period's totals of each name from usage.sqlite, busiest
// first, in every format, and a day's applications by the hour; without a database the
// profiles are listed empty and the report ends incomplete.
TEST(ReportCommand, ListsApplicationsAndInterfacesFromTheUsageDatabase)
{
    DataDirectory data;
    ReportRequest json = request(data);
    json.format = "json";
    json.by = "app";
    json.profile = "Office";
    Outcome outcome = run(json);
    EXPECT_EQ(outcome.status, kReportIncomplete);
    EXPECT_NE(outcome.out.find(R"("name": "Office",
      "applications": []
    })"), std::string::npos) << outcome.out;

    {
        UsageDatabase usage;
        ASSERT_TRUE(usage.open(data.path / kUsageDatabaseName)) << usage.lastError();
        UsageBatch batch;
        DayHourCounts systemHours(24);
        systemHours[9] = {500000, 5};
        batch.applications = {{"Office", "Firefox Web Browser", "", LocalDate{2026, 2, 3}, 1000000, 200},
                              {"Office", "System", "", LocalDate{2026, 2, 3}, 500000, 5, systemHours},
                              {"Office", "Firefox Web Browser", "", LocalDate{2026, 2, 17}, 0, 0},
                              {"Office", "sshd", "", LocalDate{2026, 3, 1}, 7, 7}}; // April: another period
        batch.interfaces = {{"Office", "eth0", "52:54:00:12:34:56", LocalDate{2026, 2, 3}, 1500000, 205}};
        ASSERT_TRUE(usage.save(batch)) << usage.lastError();
    }
    outcome = run(json);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, R"({
  "period": "2026-03",
  "profiles": [
    {
      "name": "Office",
      "applications": [
        {"application": "Firefox Web Browser", "downloaded": 1000000, "uploaded": 200, "total": 1000200},
        {"application": "System", "downloaded": 500000, "uploaded": 5, "total": 500005}
      ]
    }
  ]
}
)");
    ReportRequest table = request(data);
    table.by = "interface";
    table.profile = "Office";
    outcome = run(table);
    EXPECT_EQ(outcome.out, "Office, March 2026 (MB)\n"
                           "Interface                 Downloaded  Uploaded  Total\n"
                           "eth0 (52:54:00:12:34:56)        1.50      0.00   1.50\n"
                           "Total                           1.50      0.00   1.50\n");
    ReportRequest csv = request(data);
    csv.format = "csv";
    csv.by = "app";
    csv.unit = "B";
    outcome = run(csv);
    EXPECT_EQ(outcome.out, "profile,period,application,unit,downloaded,uploaded,total\r\n"
                           "Office,2026-03,Firefox Web Browser,B,1000000.00,200.00,1000200.00\r\n"
                           "Office,2026-03,System,B,500000.00,5.00,500005.00\r\n");
    csv.hours = "2026-03-03"; // only the applications with hours: Firefox's were not given
    outcome = run(csv);
    EXPECT_EQ(outcome.out, "profile,hour,application,unit,downloaded,uploaded,total\r\n"
                           "Office,2026-03-03T09,System,B,500000.00,5.00,500005.00\r\n");
    csv.by = "interface";
    EXPECT_EQ(run(csv).status, kReportUsageError);
    csv.by = "program";
    EXPECT_EQ(run(csv).status, kReportUsageError);
}

// --hours reads the day's hours from usage.sqlite; the busiest days come from the profile files.
TEST(ReportCommand, ReportsADaysHoursAndTheBusiestDays)
{
    DataDirectory data;
    {
        UsageDatabase usage;
        ASSERT_TRUE(usage.open(data.path / kUsageDatabaseName));
        DayHourCounts hours(24);
        hours[5] = {1500000, 0};
        ASSERT_TRUE(usage.save({{{"Office", LocalDate{2026, 2, 3}, hours, {1500000, 0}, 23}}, {}, {}, {}}));
    }
    ReportRequest day = request(data);
    day.profile = "Office";
    day.format = "json";
    day.hours = "2026-03-03";
    const Outcome hours = run(day);
    EXPECT_EQ(hours.status, 0) << hours.err;
    EXPECT_NE(hours.out.find("\"period\": \"2026-03-03\""), std::string::npos) << hours.out;
    EXPECT_NE(hours.out.find("{\"hour\": \"2026-03-03T05\", \"downloaded\": 1500000, \"uploaded\": 0, \"total\": 1500000}"),
              std::string::npos)
        << hours.out;
    ReportRequest busiest = request(data);
    busiest.format = "csv";
    busiest.profile = "Office";
    busiest.topDays = "1";
    EXPECT_EQ(run(busiest).out, "profile,date,unit,downloaded,uploaded,total\r\nOffice,2026-03-03,MB,1.50,0.00,1.50\r\n");
}
