#pragma once
// The metrics file's text, for the textfile collector of Prometheus' node exporter.
//
// The collector reads the Prometheus text format (version 0.0.4), not OpenMetrics: it rejects
// sample timestamps, and a TYPE line must name the samples that follow it exactly. So a
// counter's TYPE line carries its "_total" name, no UNIT lines are written, and nothing has a
// timestamp. The text ends with "# EOF", the end marker OpenMetrics asks for, which the text
// format reads as a comment (node exporter and promtool accept the file).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ProfileFigures {
    std::string name;
    double receivedSinceStart = 0; // bytes, counters: they only grow while the process runs
    double sentSinceStart = 0;
    double receivedToday = 0; // bytes, gauges: today's day totals
    double sentToday = 0;
};

struct ProgramFigures {
    bool captureUp = false;                          // packets are being counted
    std::string countingSource = "none";             // "kernel", "ring" or "none"
    std::uint64_t interfacesCaptured = 0;            // 0 while the capture is off
    std::uint64_t kernelDrops = 0;                   // packets the kernel dropped since start
    std::optional<double> lastSuccessfulSave;        // seconds since the epoch
    std::uint64_t saveFailures = 0;
};

// One quota's figures; labelled by profile and period ("day" or "month"), as a profile has at
// most one quota of each period, and an application's quota also by its application.
struct QuotaFigures {
    std::string profile;
    std::string period;
    std::string application; // empty: the profile's own quota, without the label
    double limit = 0; // bytes
    double used = 0;  // bytes in the quota's direction over its current span
};

// One application's bytes today within a profile (velmora_application_bytes_total).
struct ApplicationFigures {
    std::string profile;
    std::string application;
    double received = 0; // bytes, today (local time)
    double sent = 0;
};

// How many applications of a profile have their own series; the rest are summed as "other", so
// the labels stay bounded however many programs ran.
inline constexpr std::size_t kMetricsApplications = 20;
inline constexpr const char* kOtherApplications = "other";

// A profile's applications as the metrics label them: the kMetricsApplications busiest of
// `busiestFirst` (received and sent together), then one "other" with the rest (none when there
// is no rest). An application whose label would be "other" (or another's) is summed into it: one series per label set.
std::vector<ApplicationFigures> busiestApplications(const std::string& profile,
                                                    const std::vector<ApplicationFigures>& busiestFirst);

// A label value as the format needs it: backslash, double quote and line feed escaped;
// bytes that are not UTF-8 become U+FFFD.
std::string escapeLabelValue(std::string_view text);

// The quota families are left out when there are no quotas, the applications' when there are
// no applications.
std::string metricsText(const std::vector<ProfileFigures>& profiles, const ProgramFigures& program,
                        const std::vector<QuotaFigures>& quotas = {},
                        const std::vector<ApplicationFigures>& applications = {});
