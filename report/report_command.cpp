#include "report/report_command.h"

#include "profile/profile_store.h"
#include "report/report_format.h"

#include <system_error>

namespace {

struct ReportError {
    std::string message;
};

ReportPeriod requestedPeriod(const ReportRequest& request)
{
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

ProfileList loadProfiles(const std::filesystem::path& dataDirectory)
{
    const std::filesystem::path directory = dataDirectory / "profiles";
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error))
        throw ReportError{"no profile directory " + directory.string()};
    ProfileList profiles;
    loadAllProfiles(profiles, directory, "");
    return profiles;
}

std::vector<ProfileReport> selectedReports(const ProfileList& profiles, const ReportRequest& request,
                                           const ReportPeriod& period)
{
    std::vector<ProfileReport> reports;
    for (const CProfile& profile : profiles) {
        if (request.profile && profile.name != *request.profile)
            continue;
        reports.push_back(profileReport(profile, period));
        if (request.profile)
            break; // the first of that name, as the history window finds it
    }
    if (request.profile && reports.empty())
        throw ReportError{"no profile named \"" + *request.profile + "\""};
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
        const ProfileList profiles = loadProfiles(request.dataDirectory);
        out << formatReport(*format, selectedReports(profiles, request, period), period, *unit);
        out.flush();
        if (!out) {
            err << "velmora: the report could not be written\n";
            return 1;
        }
        return 0;
    } catch (const ReportError& error) {
        err << "velmora: " << error.message << '\n';
        return kReportUsageError;
    }
}
