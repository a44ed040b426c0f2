#pragma once
// The command line of both programs, read without Qt before anything else runs: one table of
// options (the window's binary knows a few more: Qt's own, passed on to it), the rules
// between them, and the --help text written from the same table.

#include "capture/counting_source.h"
#include "report/report_command.h"

#include <filesystem>
#include <optional>
#include <string>

enum class Program {
    Window, // velmora: the window by default, --headless or --report
    Daemon, // velmorad: counts by default (--headless is accepted), or --report
};

enum class RunMode {
    Window,
    Headless,
    Report,
    Finished, // --help, --version or a usage error: print `message`, exit with `exitCode`
};

struct CommandLine {
    RunMode mode = RunMode::Window;
    int exitCode = 0;
    std::string message; // for Finished: to stdout when exitCode is 0, else to stderr
    ReportRequest report; // for Report
    std::filesystem::path dataDirectory = "."; // for Report and Headless: holds profiles/
    std::optional<std::filesystem::path> metricsFile; // for Headless
    CountingRequest counting = CountingRequest::Automatic; // for Window and Headless
    std::optional<int> keepHoursDays; // for Headless and Window: --keep-hours
};

// `today` is the month a report covers when neither --month nor --year is given. Usage errors
// are one line beginning with programName().
CommandLine parseCommandLine(Program program, int argc, char** argv, const LocalDate& today);

std::string helpText(Program program);
