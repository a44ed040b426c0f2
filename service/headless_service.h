#pragma once
// Velmora without a window: the engine counting into a data directory's profiles, saved every
// minute and when a stop signal arrives, with one line on standard error for each event worth
// a log line, and the metrics file when asked for.

#include "capture/counting_source.h"

#include <filesystem>
#include <functional>
#include <optional>

struct HeadlessOptions {
    std::filesystem::path dataDirectory = "."; // holds profiles/
    std::optional<std::filesystem::path> metricsFile;
    // Called once, on the main thread, when the profiles are loaded and the capture runs.
    std::function<void()> started;
    // Days of hours the usage database keeps; its default when not given.
    std::optional<int> keepHoursDays;
};

// Counts from `source` (opened by main; without one nothing is counted) until SIGTERM or
// SIGINT; returns the exit status, 1 when the last save failed. Reads the quotas of the data
// directory (quotas.json) at the start and again on SIGHUP, and tells each crossing once.
// Call it while the process has one thread.
int runHeadless(const HeadlessOptions& options, CountingSource source);
