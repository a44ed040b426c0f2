#pragma once
// velmorad's command line, read without Qt: counting (the default; --headless is accepted so
// a unit written for `velmora --headless` runs as is) or --report. The options and their
// messages are the window program's.

#include "report/report_command.h"

#include <filesystem>
#include <optional>
#include <string>

enum class DaemonMode {
    Count,
    Report,
    Finished, // --help, --version or a usage error: print `message`, exit with `exitCode`
};

struct DaemonCommandLine {
    DaemonMode mode = DaemonMode::Count;
    int exitCode = 0;
    std::string message; // for Finished: to stdout when exitCode is 0, else to stderr
    ReportRequest report; // for Report
    std::filesystem::path dataDirectory = "."; // holds profiles/
    std::optional<std::filesystem::path> metricsFile; // for Count
};

// `today` is the month a report covers when neither --month nor --year is given.
DaemonCommandLine parseDaemonCommandLine(int argc, char** argv, const LocalDate& today);
