// velmorad's command line: counting by default, the report, and the refusals the window
// program's command line makes too.

#include "daemon/daemon_command_line.h"

#include "base/program_log.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

const LocalDate kToday{2026, 11, 7};

DaemonCommandLine parse(std::initializer_list<const char*> options)
{
    setProgramName("velmorad");
    std::vector<std::string> texts{"velmorad"};
    texts.insert(texts.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    return parseDaemonCommandLine(static_cast<int>(argv.size()), argv.data(), kToday);
}

} // namespace

TEST(DaemonCommandLine, ModesAndTheirSettings)
{
    const DaemonCommandLine plain = parse({});
    EXPECT_EQ(plain.mode, DaemonMode::Count);
    EXPECT_EQ(plain.dataDirectory, ".");
    EXPECT_FALSE(plain.metricsFile);

    const DaemonCommandLine unit = parse({"--headless", "--data=/var/lib/velmora", "--metrics-file", "/run/v.prom"});
    ASSERT_EQ(unit.mode, DaemonMode::Count);
    EXPECT_EQ(unit.dataDirectory, "/var/lib/velmora");
    EXPECT_EQ(unit.metricsFile, "/run/v.prom");

    const DaemonCommandLine report = parse({"--report", "--data", "/srv/velmora", "--profile", "Home",
                                            "--year", "2025", "--unit=GB", "--format", "json"});
    ASSERT_EQ(report.mode, DaemonMode::Report);
    EXPECT_EQ(report.report.dataDirectory, "/srv/velmora");
    EXPECT_EQ(report.report.profile, "Home");
    EXPECT_EQ(report.report.year, "2025");
    EXPECT_FALSE(report.report.month);
    EXPECT_EQ(report.report.unit, "GB");
    EXPECT_EQ(report.report.format, "json");
    EXPECT_EQ(report.report.today, kToday);

    const DaemonCommandLine defaults = parse({"--report"});
    EXPECT_EQ(defaults.report.unit, "MB");
    EXPECT_EQ(defaults.report.format, "table");
}

TEST(DaemonCommandLine, HelpVersionAndRefusals)
{
    const struct {
        std::initializer_list<const char*> options;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"--help"}, 0, "Usage: velmorad"},
        {{"-v"}, 0, "velmorad " VELMORA_VERSION "\n"},
        {{"--month", "2026-01"}, 2, "velmorad: --month needs --report\n"},
        {{"--headless", "--format", "csv"}, 2, "velmorad: --format needs --report\n"},
        {{"--report", "--metrics-file", "m.prom"}, 2, "velmorad: --metrics-file needs --headless\n"},
        {{"--report", "--headless"}, 2, "velmorad: --report and --headless exclude each other\n"},
        {{"--report", "profiles"}, 2, "velmorad: unexpected argument \"profiles\"\n"},
        {{"--reprot"}, 2, "velmorad: Unknown option 'reprot'.\n"},
        {{"--report=yes"}, 2, "velmorad: Unexpected value after '--report'.\n"},
        {{"--report", "--month"}, 2, "velmorad: Missing value after '--month'.\n"},
    };
    for (const auto& c : cases) {
        const DaemonCommandLine line = parse(c.options);
        const std::string first = *c.options.begin();
        EXPECT_EQ(line.mode, DaemonMode::Finished) << first;
        EXPECT_EQ(line.exitCode, c.exitCode) << first;
        EXPECT_EQ(line.message.substr(0, std::string(c.message).size()), c.message) << first;
    }
}
