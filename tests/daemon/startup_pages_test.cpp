// Giving back the start's pages: resident memory falls, and everything the program uses
// afterwards (its code, the libraries' code and their relocated data) still works.

#include "daemon/startup_pages.h"
#include "startup/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

TEST(StartupPages, ResidentMemoryFallsAndEverythingStillRuns)
{
    // Touch code of the libraries first, as a start does.
    std::ostringstream text;
    text << 1.5 << std::string(100, 'x');
    const long before = residentKilobytes();
    EXPECT_GT(releaseStartupPages(), 0);
    const long after = residentKilobytes();
    EXPECT_LT(after, before);

    // Relocated data and code of the program and its libraries, used again.
    char argument0[] = "velmorad", argument1[] = "--report", argument2[] = "--unit=GB";
    char* argv[] = {argument0, argument1, argument2};
    const CommandLine line = parseCommandLine(Program::Daemon, 3, argv, LocalDate{2026, 1, 1});
    EXPECT_EQ(line.mode, RunMode::Report);
    EXPECT_EQ(line.report.unit, "GB");
    std::ostringstream again;
    again << 2.25 << ' ' << std::to_string(42);
    EXPECT_EQ(again.str(), "2.25 42");
}
