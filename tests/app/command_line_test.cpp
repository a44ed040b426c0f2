// The command line: which mode each one starts, and which ones are refused before anything runs.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

const LocalDate kToday{2026, 11, 7};

CommandLine parse(std::initializer_list<const char*> options)
{
    std::vector<std::string> texts{"velmora"};
    texts.insert(texts.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data(), kToday);
}

} // namespace

TEST(CommandLine, ModesAndTheirSettings)
{
    EXPECT_EQ(parse({}).mode, RunMode::Window);

    const CommandLine report = parse({"--report", "--data", "/srv/velmora", "--profile", "Home",
                                      "--year", "2025", "--unit", "GB", "--format", "json"});
    ASSERT_EQ(report.mode, RunMode::Report);
    EXPECT_EQ(report.report.dataDirectory, "/srv/velmora");
    EXPECT_EQ(report.report.profile, "Home");
    EXPECT_EQ(report.report.year, "2025");
    EXPECT_FALSE(report.report.month);
    EXPECT_EQ(report.report.unit, "GB");
    EXPECT_EQ(report.report.format, "json");
    EXPECT_EQ(report.report.today, kToday);

    const CommandLine defaults = parse({"--report"});
    EXPECT_EQ(defaults.report.dataDirectory, ".");
    EXPECT_EQ(defaults.report.unit, "MB");
    EXPECT_EQ(defaults.report.format, "table");
    EXPECT_FALSE(defaults.report.profile);

    const CommandLine headless = parse({"--headless", "--metrics-file", "/run/velmora.prom"});
    ASSERT_EQ(headless.mode, RunMode::Headless);
    EXPECT_EQ(headless.metricsFile, "/run/velmora.prom");
}

TEST(CommandLine, HelpVersionAndRefusals)
{
    const struct {
        std::initializer_list<const char*> options;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"--help"}, 0, "Usage: "},
        {{"--version"}, 0, "velmora " VELMORA_VERSION "\n"},
        {{"--month", "2026-01"}, 2, "velmora: --month needs --report\n"},
        {{"--headless", "--format", "csv"}, 2, "velmora: --format needs --report\n"},
        {{"--report", "--metrics-file", "m.prom"}, 2, "velmora: --metrics-file needs --headless\n"},
        {{"--data", "/tmp"}, 2, "velmora: --data needs --report or --headless\n"},
        {{"--report", "--headless"}, 2, "velmora: --report and --headless exclude each other\n"},
        {{"--report", "profiles"}, 2, "velmora: unexpected argument \"profiles\"\n"},
        {{"--reprot"}, 2, "velmora: Unknown option 'reprot'.\n"},
        {{"--report", "--month"}, 2, "velmora: Missing value after '--month'.\n"},
    };
    for (const auto& c : cases) {
        const CommandLine line = parse(c.options);
        const std::string first = *c.options.begin();
        EXPECT_EQ(line.mode, RunMode::Finished) << first;
        EXPECT_EQ(line.exitCode, c.exitCode) << first;
        EXPECT_EQ(line.message.substr(0, std::string(c.message).size()), c.message) << first;
    }
}
