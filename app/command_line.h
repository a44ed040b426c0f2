#pragma once
// The command line. Without arguments Velmora opens its window; --report prints the day
// totals and exits; --headless counts without a window. Parsed before anything else runs, so
// it loads no Qt plugin and needs no application object.

#include "report/report_command.h"

#include <filesystem>
#include <optional>
#include <string>

enum class RunMode {
    Window,
    Headless,
    Report,
    Finished, // --help, --version or a usage error: print `message`, exit with `exitCode`
};

struct CommandLine {
    RunMode mode = RunMode::Window;
    int exitCode = 0;
    std::string message;     // for Finished: to stdout when exitCode is 0, else to stderr
    ReportRequest report;    // for Report
    std::filesystem::path dataDirectory = "."; // for Report and Headless: holds profiles/
    std::optional<std::filesystem::path> metricsFile; // for Headless
};

// `today` is the month a report covers when neither --month nor --year is given.
CommandLine parseCommandLine(int argc, char** argv, const LocalDate& today);

// Prints the message of a Finished command line and returns its exit code.
int finishCommandLine(const CommandLine& line);
