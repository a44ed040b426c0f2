#include "service/metrics_text.h"

#include "profile/profile_writer.h"

#include <cstdio>
#include <set>

namespace {

std::string sampleValue(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value); // round-trips every double
    return text;
}

void appendFamily(std::string& out, const char* name, const char* type, const char* help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void appendSample(std::string& out, const char* name, double value)
{
    out += name;
    out += ' ' + sampleValue(value) + '\n';
}

using ProfileField = double ProfileFigures::*;

void appendProfileFamily(std::string& out, const std::vector<ProfileFigures>& profiles,
                         const char* name, const char* type, const char* help, ProfileField field)
{
    appendFamily(out, name, type, help);
    for (const ProfileFigures& profile : profiles) {
        out += name;
        out += "{profile=\"" + escapeLabelValue(profile.name) + "\"} " +
               sampleValue(profile.*field) + '\n';
    }
}

using QuotaField = double QuotaFigures::*;

void appendQuotaFamily(std::string& out, const std::vector<QuotaFigures>& quotas, const char* name,
                       const char* help, QuotaField field)
{
    appendFamily(out, name, "gauge", help);
    for (const QuotaFigures& quota : quotas) {
        out += name;
        out += "{profile=\"" + escapeLabelValue(quota.profile) + "\",";
        if (!quota.application.empty())
            out += "application=\"" + escapeLabelValue(quota.application) + "\",";
        out += "period=\"" + escapeLabelValue(quota.period) + "\"} " + sampleValue(quota.*field) + '\n';
    }
}

void appendApplicationFamily(std::string& out, const std::vector<ApplicationFigures>& applications)
{
    constexpr const char* kName = "velmora_application_bytes_total";
    appendFamily(out, kName, "counter",
                 "Bytes of an application within the profile today (local time), from zero each day: the "
                 "twenty busiest of the day by name, the rest as application=\"other\".");
    for (const ApplicationFigures& application : applications)
        for (const auto& [direction, value] : {std::pair{"received", application.received}, {"sent", application.sent}})
            out += std::string(kName) + "{profile=\"" + escapeLabelValue(application.profile) + "\",application=\"" +
                   escapeLabelValue(application.application) + "\",direction=\"" + direction + "\"} " +
                   sampleValue(value) + '\n';
}

} // namespace

std::vector<ApplicationFigures> busiestApplications(const std::string& profile,
                                                    const std::vector<ApplicationFigures>& busiestFirst)
{
    std::vector<ApplicationFigures> figures;
    ApplicationFigures other{profile, kOtherApplications};
    bool anyOther = false;
    std::set<std::string> labels{kOtherApplications}; // the label as written makes the series
    for (const ApplicationFigures& application : busiestFirst) {
        if (figures.size() < kMetricsApplications && labels.insert(escapeLabelValue(application.application)).second) {
            figures.push_back({profile, application.application, application.received, application.sent});
            continue;
        }
        other.received += application.received;
        other.sent += application.sent;
        anyOther = true;
    }
    if (anyOther)
        figures.push_back(std::move(other));
    return figures;
}

std::string escapeLabelValue(std::string_view text)
{
    std::string out;
    // storableText also replaces control characters XML cannot carry; a profile name never
    // holds them after a save and a load, so the label is the name the files and reports show.
    for (char c : storableText(text)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string metricsText(const std::vector<ProfileFigures>& profiles, const ProgramFigures& program,
                        const std::vector<QuotaFigures>& quotas,
                        const std::vector<ApplicationFigures>& applications)
{
    std::string out;
    appendProfileFamily(out, profiles, "velmora_received_bytes_total", "counter",
                        "Bytes the profile counted as received since Velmora started.",
                        &ProfileFigures::receivedSinceStart);
    appendProfileFamily(out, profiles, "velmora_sent_bytes_total", "counter",
                        "Bytes the profile counted as sent since Velmora started.",
                        &ProfileFigures::sentSinceStart);
    appendProfileFamily(out, profiles, "velmora_today_received_bytes", "gauge",
                        "Bytes the profile counted as received today (local time).",
                        &ProfileFigures::receivedToday);
    appendProfileFamily(out, profiles, "velmora_today_sent_bytes", "gauge",
                        "Bytes the profile counted as sent today (local time).",
                        &ProfileFigures::sentToday);
    if (!applications.empty())
        appendApplicationFamily(out, applications);
    appendFamily(out, "velmora_capture_up", "gauge", "1 while packets are being counted, 0 while the capture is off or failing.");
    appendSample(out, "velmora_capture_up", program.captureUp ? 1.0 : 0.0);
    appendFamily(out, "velmora_counting_source", "gauge",
                 "1 for the source that counts: the kernel's programs, the packet ring, or none.");
    for (const char* source : {"kernel", "ring", "none"})
        out += std::string("velmora_counting_source{source=\"") + source + "\"} " +
               (program.countingSource == source ? "1" : "0") + '\n';
    if (!quotas.empty()) {
        appendQuotaFamily(out, quotas, "velmora_quota_limit_bytes",
                          "The profile's quota for the period (quotas.json).", &QuotaFigures::limit);
        appendQuotaFamily(out, quotas, "velmora_quota_used_bytes",
                          "Bytes the quota's profile used in its direction since the period began.",
                          &QuotaFigures::used);
    }
    appendFamily(out, "velmora_interfaces_captured", "gauge", "Interfaces whose packets are counted.");
    appendSample(out, "velmora_interfaces_captured", static_cast<double>(program.interfacesCaptured));
    appendFamily(out, "velmora_kernel_dropped_packets_total", "counter",
                 "Packets the kernel dropped before Velmora could count them.");
    appendSample(out, "velmora_kernel_dropped_packets_total", static_cast<double>(program.kernelDrops));
    if (program.lastSuccessfulSave) {
        appendFamily(out, "velmora_last_save_timestamp_seconds", "gauge",
                     "When the profiles were last saved in full.");
        appendSample(out, "velmora_last_save_timestamp_seconds", *program.lastSuccessfulSave);
    }
    appendFamily(out, "velmora_save_failures_total", "counter", "Saves that failed since Velmora started.");
    appendSample(out, "velmora_save_failures_total", static_cast<double>(program.saveFailures));
    out += "# EOF\n";
    return out;
}
