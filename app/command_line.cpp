#include "app/command_line.h"

#include "base/program_log.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>

namespace {

const QCommandLineOption kReport(QStringLiteral("report"),
                                 QStringLiteral("Print the day totals of the profiles and exit."));
const QCommandLineOption kHeadless(QStringLiteral("headless"),
                                   QStringLiteral("Count traffic without a window (a service)."));
const QCommandLineOption kData(QStringLiteral("data"),
                               QStringLiteral("The data directory that holds profiles/ (default: "
                                              "the working directory)."),
                               QStringLiteral("DIR"));
const QCommandLineOption kProfile(QStringLiteral("profile"),
                                  QStringLiteral("Report only this profile (default: all)."),
                                  QStringLiteral("NAME"));
const QCommandLineOption kMonth(QStringLiteral("month"),
                                QStringLiteral("Report this month (default: this month)."),
                                QStringLiteral("YYYY-MM"));
const QCommandLineOption kYear(QStringLiteral("year"),
                               QStringLiteral("Report this year, month by month."), QStringLiteral("YYYY"));
const QCommandLineOption kUnit(QStringLiteral("unit"),
                               QStringLiteral("Size unit of the table and CSV: B, KB, MB or GB "
                                              "(default: MB)."),
                               QStringLiteral("UNIT"), QStringLiteral("MB"));
const QCommandLineOption kFormat(QStringLiteral("format"),
                                 QStringLiteral("table, csv or json (default: table)."),
                                 QStringLiteral("FORMAT"), QStringLiteral("table"));
const QCommandLineOption kMetricsFile(QStringLiteral("metrics-file"),
                                      QStringLiteral("With --headless: write metrics for node "
                                                     "exporter's textfile collector to PATH every 15 s."),
                                      QStringLiteral("PATH"));

CommandLine finished(int exitCode, std::string message)
{
    CommandLine line;
    line.mode = RunMode::Finished;
    line.exitCode = exitCode;
    line.message = std::move(message);
    return line;
}

CommandLine usageError(const QString& text)
{
    return finished(kReportUsageError, logText(text.toStdString()));
}

std::optional<std::string> valueOf(const QCommandLineParser& parser, const QCommandLineOption& option)
{
    if (!parser.isSet(option))
        return std::nullopt;
    return parser.value(option).toStdString();
}

// Options that belong to one mode only, named in the error when given without it.
std::optional<QString> misplacedOption(const QCommandLineParser& parser, RunMode mode)
{
    for (const QCommandLineOption* option : {&kProfile, &kMonth, &kYear, &kUnit, &kFormat})
        if (parser.isSet(*option) && mode != RunMode::Report)
            return "--" + option->names().constFirst() + " needs --report";
    if (parser.isSet(kMetricsFile) && mode != RunMode::Headless)
        return QStringLiteral("--metrics-file needs --headless");
    if (parser.isSet(kData) && mode == RunMode::Window)
        return QStringLiteral("--data needs --report or --headless");
    return std::nullopt;
}

} // namespace

CommandLine parseCommandLine(int argc, char** argv, const LocalDate& today)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Velmora, a network traffic meter."));
    // Not addHelpOption(): its --help-all promises Qt's own options, which this parser, run
    // before any application object exists, does not know.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({kReport, kHeadless, kData, kProfile, kMonth, kYear, kUnit, kFormat, kMetricsFile});
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        // Without an application object the parser does not know the program's name.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QStringLiteral("velmora"));
        return finished(0, text.toStdString());
    }
    if (parser.isSet(version))
        return finished(0, "velmora " VELMORA_VERSION "\n");
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument \"" + parser.positionalArguments().constFirst() + "\"");
    if (parser.isSet(kReport) && parser.isSet(kHeadless))
        return usageError(QStringLiteral("--report and --headless exclude each other"));

    CommandLine line;
    line.mode = parser.isSet(kReport) ? RunMode::Report
                : parser.isSet(kHeadless) ? RunMode::Headless
                                          : RunMode::Window;
    if (std::optional<QString> error = misplacedOption(parser, line.mode))
        return usageError(*error);
    if (parser.isSet(kData))
        line.dataDirectory = parser.value(kData).toStdString();
    if (parser.isSet(kMetricsFile))
        line.metricsFile = parser.value(kMetricsFile).toStdString();
    line.report.dataDirectory = line.dataDirectory;
    line.report.profile = valueOf(parser, kProfile);
    line.report.month = valueOf(parser, kMonth);
    line.report.year = valueOf(parser, kYear);
    line.report.unit = parser.value(kUnit).toStdString();
    line.report.format = parser.value(kFormat).toStdString();
    line.report.today = today;
    return line;
}

int finishCommandLine(const CommandLine& line)
{
    std::fputs(line.message.c_str(), line.exitCode == 0 ? stdout : stderr);
    return line.exitCode;
}
