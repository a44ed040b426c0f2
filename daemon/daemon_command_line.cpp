#include "daemon/daemon_command_line.h"

#include "base/program_log.h"

#include <string_view>
#include <vector>

namespace {

constexpr const char* kHelp =
    "Usage: velmorad [options]\n"
    "Velmora's service: counts the machine's traffic into the profiles of a data directory\n"
    "until SIGTERM or SIGINT (SIGHUP reads quotas.json again), or prints their day totals\n"
    "with --report.\n"
    "\n"
    "Options:\n"
    "  -h, --help           Displays help on commandline options.\n"
    "  -v, --version        Displays version information.\n"
    "  --headless           Count traffic (the default; kept for units written for velmora).\n"
    "  --report             Print the day totals of the profiles and exit.\n"
    "  --data <DIR>         The data directory that holds profiles/ (default: the working\n"
    "                       directory).\n"
    "  --metrics-file <PATH>  While counting: write metrics for node exporter's textfile\n"
    "                       collector to PATH every 15 s.\n"
    "  --profile <NAME>     Report only this profile (default: all).\n"
    "  --month <YYYY-MM>    Report this month (default: this month).\n"
    "  --year <YYYY>        Report this year, month by month.\n"
    "  --unit <UNIT>        Size unit of the table and CSV: B, KB, MB or GB (default: MB).\n"
    "  --format <FORMAT>    table, csv or json (default: table).\n";

DaemonCommandLine finished(int exitCode, std::string message)
{
    DaemonCommandLine line;
    line.mode = DaemonMode::Finished;
    line.exitCode = exitCode;
    line.message = std::move(message);
    return line;
}

DaemonCommandLine usageError(const std::string& text)
{
    return finished(kReportUsageError, logText(text));
}

struct ValueOption {
    std::string_view name;
    std::optional<std::string> value;
};

} // namespace

DaemonCommandLine parseDaemonCommandLine(int argc, char** argv, const LocalDate& today)
{
    bool report = false;
    bool headless = false;
    ValueOption data{"data", {}}, metrics{"metrics-file", {}}, profile{"profile", {}}, month{"month", {}},
        year{"year", {}}, unit{"unit", {}}, format{"format", {}};
    ValueOption* const valued[] = {&data, &metrics, &profile, &month, &year, &unit, &format};

    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help")
            return finished(0, kHelp);
        if (argument == "-v" || argument == "--version")
            return finished(0, "velmorad " VELMORA_VERSION "\n");
        if (argument.size() < 3 || argument.substr(0, 2) != "--")
            return usageError(argument.size() > 1 && argument[0] == '-'
                                  ? "Unknown option '" + std::string(argument.substr(1)) + "'."
                                  : "unexpected argument \"" + std::string(argument) + "\"");
        std::string_view name = argument.substr(2);
        std::optional<std::string_view> inlineValue;
        if (const auto equals = name.find('='); equals != std::string_view::npos) {
            inlineValue = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "report" || name == "headless") {
            if (inlineValue)
                return usageError("Unexpected value after '--" + std::string(name) + "'.");
            (name == "report" ? report : headless) = true;
            continue;
        }
        ValueOption* option = nullptr;
        for (ValueOption* candidate : valued)
            if (candidate->name == name)
                option = candidate;
        if (!option)
            return usageError("Unknown option '" + std::string(name) + "'.");
        if (inlineValue)
            option->value = std::string(*inlineValue);
        else if (i + 1 < argc)
            option->value = std::string(argv[++i]);
        else
            return usageError("Missing value after '--" + std::string(name) + "'.");
    }

    if (report && headless)
        return usageError("--report and --headless exclude each other");
    DaemonCommandLine line;
    line.mode = report ? DaemonMode::Report : DaemonMode::Count;
    for (const ValueOption* option : {&profile, &month, &year, &unit, &format})
        if (option->value && !report)
            return usageError("--" + std::string(option->name) + " needs --report");
    if (metrics.value && report)
        return usageError("--metrics-file needs --headless");
    if (data.value)
        line.dataDirectory = *data.value;
    if (metrics.value)
        line.metricsFile = *metrics.value;
    line.report.dataDirectory = line.dataDirectory;
    line.report.profile = profile.value;
    line.report.month = month.value;
    line.report.year = year.value;
    line.report.unit = unit.value.value_or("MB");
    line.report.format = format.value.value_or("table");
    line.report.today = today;
    return line;
}
