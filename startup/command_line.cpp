#include "startup/command_line.h"

#include "base/program_log.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

namespace {

enum class Id { Help, Version, Report, Headless, Data, Profile, Month, Year, Unit, Format, By, MetricsFile, Counting, KeepHours, Hours, TopDays, Qt };

enum Programs : unsigned { kWindowOnly = 1, kDaemonOnly = 2, kBoth = 3 };

struct Option {
    Id id;
    unsigned programs;
    std::string_view name;      // after "--"; after "-" for Qt's
    std::string_view valueName; // empty for a switch
    std::string_view help;
    char shortName = 0;         // "-h", "-v"
    bool equalsForm = false;    // Qt's: also "-name=value"
};

constexpr Option kOptions[] = {
    {Id::Help, kBoth, "help", "", "Displays help on commandline options.", 'h'},
    {Id::Version, kBoth, "version", "", "Displays version information.", 'v'},
    {Id::Report, kBoth, "report", "", "Print the day totals of the profiles and exit."},
    {Id::Headless, kWindowOnly, "headless", "", "Count traffic without a window (a service)."},
    {Id::Headless, kDaemonOnly, "headless", "", "Count traffic (the default; kept for units written for velmora)."},
    {Id::Data, kBoth, "data", "DIR", "The data directory that holds profiles/ (default: the working directory)."},
    {Id::Profile, kBoth, "profile", "NAME", "Report only this profile (default: all)."},
    {Id::Month, kBoth, "month", "YYYY-MM", "Report this month (default: this month)."},
    {Id::Year, kBoth, "year", "YYYY", "Report this year, month by month."},
    {Id::Hours, kBoth, "hours", "YYYY-MM-DD", "Report the hours of this day (with --by app: of each application)."},
    {Id::TopDays, kBoth, "top-days", "N", "Report the N busiest days of the period, busiest first."},
    {Id::Unit, kBoth, "unit", "UNIT", "Size unit of the table and CSV: B, KB, MB or GB (default: MB)."},
    {Id::Format, kBoth, "format", "FORMAT", "table, csv or json (default: table)."},
    {Id::By, kBoth, "by", "WHAT", "Report each profile's applications (app) or interfaces (interface)."},
    {Id::MetricsFile, kWindowOnly, "metrics-file", "PATH",
     "With --headless: write metrics for node exporter's textfile collector to PATH every 15 s."},
    {Id::MetricsFile, kDaemonOnly, "metrics-file", "PATH",
     "While counting: write metrics for node exporter's textfile collector to PATH every 15 s."},
    {Id::Counting, kBoth, "counting", "SOURCE",
     "auto: count with the kernel's programs where the kernel loads them, else with the packet ring "
     "(the default); ring: with the packet ring only; tc: with the kernel's programs attached by "
     "classic tc, as on kernels before 6.6."},
    {Id::KeepHours, kBoth, "keep-hours", "DAYS",
     "While counting: keep the hours of the last DAYS days in usage.sqlite (default: 400)."},
};

// Qt's standard options, read by QApplication itself from the same arguments; the window's
// binary only steps over them (and their values).
constexpr Option kQtOptions[] = {
    {Id::Qt, kWindowOnly, "platform", "NAME", "The Qt platform plugin: xcb, wayland, offscreen..."},
    {Id::Qt, kWindowOnly, "platformpluginpath", "PATH", "Where to look for platform plugins."},
    {Id::Qt, kWindowOnly, "platformtheme", "THEME", "The platform theme."},
    {Id::Qt, kWindowOnly, "plugin", "PLUGIN", "Loads this input plugin."},
    {Id::Qt, kWindowOnly, "display", "DISPLAY", "The X display (default: $DISPLAY)."},
    {Id::Qt, kWindowOnly, "geometry", "GEOMETRY", "The main window's geometry on X11."},
    {Id::Qt, kWindowOnly, "qwindowgeometry", "GEOMETRY", "The main window's geometry."},
    {Id::Qt, kWindowOnly, "qwindowicon", "ICON", "The windows' icon."},
    {Id::Qt, kWindowOnly, "qwindowtitle", "TITLE", "The main window's title."},
    {Id::Qt, kWindowOnly, "session", "SESSION", "Restores this session of the session manager."},
    {Id::Qt, kWindowOnly, "style", "STYLE", "The widget style: Fusion, Windows...", 0, true},
    {Id::Qt, kWindowOnly, "stylesheet", "FILE", "Applies this style sheet.", 0, true},
    {Id::Qt, kWindowOnly, "reverse", "", "Lays the windows out right to left."},
    {Id::Qt, kWindowOnly, "widgetcount", "", "Prints the widgets left over at exit."},
};

constexpr std::string_view kWindowDescription = "Velmora, a network traffic meter.";
constexpr std::string_view kDaemonDescription =
    "Velmora's service: counts the machine's traffic into the profiles of a data directory until "
    "SIGTERM or SIGINT (SIGHUP reads quotas.json again), or prints their day totals with --report.";

constexpr std::size_t kLineWidth = 79;

unsigned programBit(Program program)
{
    return program == Program::Window ? kWindowOnly : kDaemonOnly;
}

const char* nameOf(Program program)
{
    return program == Program::Window ? "velmora" : "velmorad";
}

const Option* findOption(std::span<const Option> options, Program program, std::string_view name)
{
    for (const Option& option : options)
        if ((option.programs & programBit(program)) && option.name == name)
            return &option;
    return nullptr;
}

std::string_view longName(Id id)
{
    return std::find_if(std::begin(kOptions), std::end(kOptions), [id](const Option& o) { return o.id == id; })->name;
}

CommandLine finished(int exitCode, std::string message)
{
    CommandLine line;
    line.mode = RunMode::Finished;
    line.exitCode = exitCode;
    line.message = std::move(message);
    return line;
}

CommandLine usageError(const std::string& text)
{
    return finished(kReportUsageError, logText(text, LogBytes::Escaped)); // it may quote an argument
}

// `text` broken into lines of at most `width` characters (a longer word gets a line of its own).
std::vector<std::string> wrapped(std::string_view text, std::size_t width)
{
    std::vector<std::string> lines(1);
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(' '), text.size());
        const std::string_view word = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width)
            lines.emplace_back();
        if (!lines.back().empty())
            lines.back() += ' ';
        lines.back() += word;
    }
    return lines;
}

std::string namesOf(const Option& option, bool qt)
{
    std::string names;
    if (option.shortName)
        names = std::string("-") + option.shortName + ", ";
    names += (qt ? "-" : "--") + std::string(option.name);
    if (!option.valueName.empty())
        names += " <" + std::string(option.valueName) + ">";
    return names;
}

} // namespace

std::string helpText(Program program)
{
    struct Entry {
        std::string names;
        std::string_view help;
    };
    std::vector<Entry> entries, qtEntries;
    for (const Option& option : kOptions)
        if (option.programs & programBit(program))
            entries.push_back({namesOf(option, false), option.help});
    if (program == Program::Window)
        for (const Option& option : kQtOptions)
            qtEntries.push_back({namesOf(option, true), option.help});
    // Each section aligns its descriptions after its longest names, as Qt's help does.
    const auto section = [](std::string_view title, const std::vector<Entry>& list) {
        std::size_t column = 0;
        for (const Entry& entry : list)
            column = std::max(column, entry.names.size() + 4); // two spaces before the names, two after
        std::string text = "\n" + std::string(title) + "\n";
        for (const Entry& entry : list) {
            const std::string names = "  " + entry.names;
            std::string indent = names + std::string(column - names.size(), ' ');
            for (const std::string& line : wrapped(entry.help, kLineWidth - column)) {
                text += indent + line + "\n";
                indent.assign(column, ' ');
            }
        }
        return text;
    };
    std::string text = "Usage: " + std::string(nameOf(program)) + " [options]\n";
    for (const std::string& line :
         wrapped(program == Program::Window ? kWindowDescription : kDaemonDescription, kLineWidth))
        text += line + "\n";
    text += section("Options:", entries);
    if (!qtEntries.empty())
        text += section("Options of the window, read by Qt:", qtEntries);
    return text;
}

CommandLine parseCommandLine(Program program, int argc, char** argv, const LocalDate& today)
{
    std::optional<std::string> values[static_cast<int>(Id::Qt) + 1];
    const auto given = [&](Id id) -> std::optional<std::string>& { return values[static_cast<int>(id)]; };
    std::vector<std::string> positional;
    std::optional<std::string> error;
    std::string qtOption; // the first one given, for the refusal when there is no window
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnd || argument.size() < 2 || argument[0] != '-') {
            positional.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnd = true;
            continue;
        }
        const bool longForm = argument[1] == '-';
        std::string_view name = argument.substr(longForm ? 2 : 1);
        std::optional<std::string_view> inlineValue;
        const Option* option = nullptr;
        if (longForm) {
            if (const auto equals = name.find('='); equals != std::string_view::npos) {
                inlineValue = name.substr(equals + 1);
                name = name.substr(0, equals);
            }
            option = findOption(kOptions, program, name);
        } else if (name.size() == 1) {
            for (const Option& candidate : kOptions)
                if (candidate.shortName == name[0])
                    option = &candidate;
        } else if (program == Program::Window) {
            option = findOption(kQtOptions, program, name);
            if (const auto equals = name.find('='); !option && equals != std::string_view::npos) {
                option = findOption(kQtOptions, program, name.substr(0, equals));
                if (option && option->equalsForm)
                    inlineValue = name.substr(equals + 1);
                else
                    option = nullptr;
            }
        }
        const std::string called = (longForm ? "--" : "-") + std::string(option ? option->name : name);
        if (!option) {
            error = error.value_or("Unknown option '" + std::string(name) + "'.");
            continue;
        }
        if (option->id == Id::Qt && qtOption.empty())
            qtOption = called;
        std::optional<std::string>& value = given(option->id);
        if (option->valueName.empty() && inlineValue)
            error = error.value_or("Unexpected value after '" + called + "'.");
        else if (option->valueName.empty())
            value = "";
        else if (inlineValue)
            value = std::string(*inlineValue);
        else if (i + 1 < argc)
            value = std::string(argv[++i]);
        else
            error = error.value_or("Missing value after '" + called + "'.");
    }
    if (error)
        return usageError(*error);
    if (given(Id::Help))
        return finished(0, helpText(program));
    if (given(Id::Version))
        return finished(0, std::string(nameOf(program)) + " " VELMORA_VERSION "\n");
    if (!positional.empty())
        return usageError("unexpected argument \"" + positional.front() + "\"");
    const bool report = given(Id::Report).has_value();
    const bool headless = given(Id::Headless).has_value();
    if (report && headless)
        return usageError("--report and --headless exclude each other");

    CommandLine line;
    line.mode = report ? RunMode::Report
                : headless || program == Program::Daemon ? RunMode::Headless
                                                          : RunMode::Window;
    for (const Id id : {Id::Profile, Id::Month, Id::Year, Id::Unit, Id::Format, Id::By, Id::Hours, Id::TopDays})
        if (given(id) && line.mode != RunMode::Report)
            return usageError("--" + std::string(longName(id)) + " needs --report");
    if (given(Id::MetricsFile) && line.mode != RunMode::Headless)
        return usageError("--metrics-file needs --headless");
    if (given(Id::Counting) && line.mode == RunMode::Report)
        return usageError("--counting needs a run that counts, not --report");
    if (given(Id::Counting) && *given(Id::Counting) != "auto" && *given(Id::Counting) != "ring" &&
        *given(Id::Counting) != "tc")
        return usageError("unknown counting source \"" + *given(Id::Counting) + "\" (auto, ring or tc)");
    if (given(Id::KeepHours) && line.mode == RunMode::Report)
        return usageError("--keep-hours needs a run that counts, not --report");
    if (given(Id::KeepHours)) {
        const std::string& days = *given(Id::KeepHours);
        const bool digits = !days.empty() && days.size() <= 6 &&
                            std::all_of(days.begin(), days.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || std::stoi(days) < 1)
            return usageError("--keep-hours takes a number of days from 1 to 999999, not \"" + days + "\"");
        line.keepHoursDays = std::stoi(days);
    }
    if (given(Id::Hours) && (given(Id::Month) || given(Id::Year) || given(Id::TopDays)))
        return usageError("--hours reports one day: not with --month, --year or --top-days");
    if (given(Id::Data) && line.mode == RunMode::Window)
        return usageError("--data needs --report or --headless");
    if (!qtOption.empty() && line.mode != RunMode::Window)
        return usageError(qtOption + " is an option of the window, not of " + (report ? "--report" : "--headless"));
    if (given(Id::Data))
        line.dataDirectory = *given(Id::Data);
    if (given(Id::MetricsFile))
        line.metricsFile = *given(Id::MetricsFile);
    if (given(Id::Counting) == "ring")
        line.counting = CountingRequest::Ring;
    if (given(Id::Counting) == "tc")
        line.counting = CountingRequest::ClassicTc;
    line.report.dataDirectory = line.dataDirectory;
    line.report.profile = given(Id::Profile);
    line.report.month = given(Id::Month);
    line.report.year = given(Id::Year);
    line.report.unit = given(Id::Unit).value_or("MB");
    line.report.format = given(Id::Format).value_or("table");
    line.report.by = given(Id::By);
    line.report.hours = given(Id::Hours);
    line.report.topDays = given(Id::TopDays);
    line.report.today = today;
    return line;
}
