#include "report/report_command.h"

#include "base/program_log.h"
#include "profile/profile_store.h"
#include "report/report_application_hours.h"
#include "report/report_by_name.h"
#include "report/report_format.h"
#include "usage/usage_database.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace {

struct ReportError {
    std::string message;
};

ReportPeriod calendarPeriod(const ReportRequest& request)
{
    if (request.hours) {
        if (request.month || request.year || request.topDays)
            throw ReportError{"--hours reports one day: not with --month, --year or --top-days"};
        if (auto period = parseReportDay(*request.hours))
            return *period;
        throw ReportError{"malformed day \"" + *request.hours + "\" (expected YYYY-MM-DD)"};
    }
    if (request.month && request.year)
        throw ReportError{"--month and --year exclude each other"};
    if (request.month) {
        if (auto period = parseReportMonth(*request.month))
            return *period;
        throw ReportError{"malformed month \"" + *request.month + "\" (expected YYYY-MM)"};
    }
    if (request.year) {
        if (auto period = parseReportYear(*request.year))
            return *period;
        throw ReportError{"malformed year \"" + *request.year + "\" (expected YYYY)"};
    }
    return ReportPeriod{request.today.year, request.today.month};
}

ReportPeriod requestedPeriod(const ReportRequest& request)
{
    ReportPeriod period = calendarPeriod(request);
    if (request.topDays) {
        const std::string& count = *request.topDays;
        const bool digits = !count.empty() && count.size() <= 4 &&
                            std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || std::stoi(count) < 1)
            throw ReportError{"malformed number of days \"" + count + "\" (expected 1 to 9999)"};
        period.topDays = std::stoi(count);
    }
    return period;
}

// With --hours: each report's rows become the hours of the day from usage.sqlite. No file there
// means no hours kept yet; one that cannot be read is said, and the report is incomplete.
void fillHours(std::vector<ProfileReport>& reports, const ReportRequest& request, const ReportPeriod& period,
               std::ostream& err, bool& complete)
{
    const std::filesystem::path file = request.dataDirectory / kUsageDatabaseName;
    UsageDatabase usage;
    std::error_code missing;
    if (std::filesystem::exists(file, missing) && !usage.openForReading(file)) {
        err << logText("cannot read " + file.string() + ": " + usage.lastError(), LogBytes::Escaped);
        complete = false;
    }
    const LocalDate day{period.year, period.month, period.day};
    for (ProfileReport& report : reports) {
        std::vector<QuotaStatus> quotas = std::move(report.quotas);
        report = hoursReport(report.name, period, usage.dayHours(report.name, day));
        report.quotas = std::move(quotas);
    }
}

// The profiles that could be read; each file that could not is named on `err`, and `complete`
// is cleared. A report of one profile reads only that profile's file when it holds it.
ProfileList loadProfiles(const ReportRequest& request, std::ostream& err, bool& complete)
{
    const std::filesystem::path directory = request.dataDirectory / "profiles";
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error))
        throw ReportError{"no profile directory " + directory.string()};
    ProfileList profiles;
    if (request.profile)
        if (std::optional<CProfile> profile = loadProfileFromOwnFile(directory, *request.profile)) {
            profiles.push_back(std::move(*profile));
            return profiles;
        }
    if (std::filesystem::directory_iterator(directory, error); error) {
        err << logText("cannot read " + directory.string() + ": " + error.message(), LogBytes::Escaped);
        complete = false;
    }
    std::vector<UnreadFile> unread;
    loadAllProfiles(profiles, directory, "", LoadMode::ReadOnly, &unread);
    for (const UnreadFile& file : unread) {
        err << logText(file.file.string() + " left out of the report: " + file.reason, LogBytes::Escaped);
        complete = false;
    }
    return profiles;
}

// The quotas of the data directory as they stand today; a file that cannot be read is named on
// `err`, and `complete` is cleared.
std::vector<QuotaStatus> readQuotas(const ReportRequest& request, const ProfileList& profiles, std::ostream& err,
                                    bool& complete)
{
    const QuotaFileRead read = readQuotaFile(request.dataDirectory);
    if (!read.problem.empty()) {
        err << logText(read.problem, LogBytes::Escaped);
        complete = false;
    }
    std::vector<QuotaStatus> statuses = quotaStatuses(read.quotas, profiles, request.today);
    std::stable_partition(statuses.begin(), statuses.end(),
                          [](const QuotaStatus& status) { return status.quota.period == QuotaPeriod::Month; });
    return statuses;
}

std::vector<ProfileReport> selectedReports(const ProfileList& profiles, const ReportRequest& request,
                                           const ReportPeriod& period, const std::vector<QuotaStatus>& quotas)
{
    std::vector<ProfileReport> reports;
    std::set<std::string> named;
    for (const CProfile& profile : profiles) {
        if (request.profile && profile.name != *request.profile)
            continue;
        reports.push_back(profileReport(profile, period));
        if (named.insert(profile.name).second) // the quota is the first profile's of that name
            for (const QuotaStatus& status : quotas) // a profile's own: its applications' are the window's
                if (status.quota.profile == profile.name && status.quota.application.empty())
                    reports.back().quotas.push_back(status);
        if (request.profile)
            break; // the first of that name, as the history window finds it
    }
    if (request.profile && reports.empty())
        throw ReportError{"no profile named \"" + *request.profile + "\""};
    return reports;
}

// Opens the data directory's usage database for reading; one that cannot be read is named on
// `err`, and `complete` is cleared.
void openUsageDatabase(UsageDatabase& usage, const ReportRequest& request, std::ostream& err, bool& complete)
{
    if (!usage.openForReading(request.dataDirectory / kUsageDatabaseName)) {
        err << logText((request.dataDirectory / kUsageDatabaseName).string() + ": " + usage.lastError(),
                       LogBytes::Escaped);
        complete = false;
    }
}

// Each selected profile's applications or interfaces over the period, from the usage database
// of the data directory; a database that cannot be read is named on `err`, and `complete` is
// cleared (the profiles are listed without rows).
std::vector<NamedReport> namedReports(const std::vector<ProfileReport>& profiles, const ReportRequest& request,
                                      ReportBy by, const ReportPeriod& period, std::ostream& err, bool& complete)
{
    UsageDatabase usage;
    openUsageDatabase(usage, request, err, complete);
    std::vector<NamedReport> reports;
    for (const ProfileReport& profile : profiles) {
        NamedReport& report = reports.emplace_back(NamedReport{profile.name, {}});
        if (usage.isOpen())
            report.rows = by == ReportBy::Application
                              ? usage.applicationTotals(profile.name, firstDayOf(period), lastDayOf(period))
                              : usage.interfaceTotals(profile.name, firstDayOf(period), lastDayOf(period));
    }
    return reports;
}

// With --hours and --by app: each selected profile's applications on that day, with their hours.
std::vector<ApplicationHoursReport> applicationHoursReports(const std::vector<ProfileReport>& profiles,
                                                            const ReportRequest& request, const ReportPeriod& period,
                                                            std::ostream& err, bool& complete)
{
    UsageDatabase usage;
    openUsageDatabase(usage, request, err, complete);
    std::vector<ApplicationHoursReport> reports;
    for (const ProfileReport& profile : profiles)
        reports.push_back({profile.name, usage.applicationHours(profile.name, {period.year, period.month, period.day})});
    return reports;
}

} // namespace

int runReport(const ReportRequest& request, std::ostream& out, std::ostream& err)
{
    try {
        const ReportPeriod period = requestedPeriod(request);
        const std::optional<ReportUnit> unit = parseReportUnit(request.unit);
        if (!unit)
            throw ReportError{"unknown unit \"" + request.unit + "\" (B, KB, MB or GB)"};
        const std::optional<ReportFormat> format = parseReportFormat(request.format);
        if (!format)
            throw ReportError{"unknown format \"" + request.format + "\" (table, csv or json)"};
        std::optional<ReportBy> by;
        if (request.by && !(by = parseReportBy(*request.by)))
            throw ReportError{"unknown --by \"" + *request.by + "\" (app or interface)"};
        if (by == ReportBy::Interface && period.isHours())
            throw ReportError{"--hours reports applications by the hour (--by app); interfaces keep days only"};
        bool complete = true;
        const ProfileList profiles = loadProfiles(request, err, complete);
        if (by) {
            const std::vector<ProfileReport> selected = selectedReports(profiles, request, period, {});
            if (period.isHours())
                out << formatApplicationHours(*format, applicationHoursReports(selected, request, period, err, complete),
                                              period, *unit);
            else
                out << formatNamedReport(*format, *by, namedReports(selected, request, *by, period, err, complete), period,
                                     *unit);
            out.flush();
            return !out ? 1 : complete ? 0 : kReportIncomplete;
        }
        const std::vector<QuotaStatus> quotas = readQuotas(request, profiles, err, complete);
        std::vector<ProfileReport> reports = selectedReports(profiles, request, period, quotas);
        if (period.isHours())
            fillHours(reports, request, period, err, complete);
        out << formatReport(*format, reports, period, *unit);
        out.flush();
        if (!out) {
            err << logText("the report could not be written");
            return 1;
        }
        return complete ? 0 : kReportIncomplete;
    } catch (const ReportError& error) {
        err << logText(error.message, LogBytes::Escaped);
        return kReportUsageError;
    }
}
