// Both binaries, run for real: what each command line prints on stdout and stderr and the exit
// status it ends with. A row names the programs it holds for; NAME in its texts stands for the
// program's name.

#include "profile/instance_lock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1; // the exit status (137 when it ran for more than 20 s)
    std::string out, err;
};

std::string contentOf(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `program` in `directory`, in an environment without a display (plus the NAME=value
// entries of `extra`), for at most 20 s and collects what it says.
Outcome run(const std::string& program, const std::vector<std::string>& arguments, const fs::path& directory,
            const std::vector<std::string>& extra = {})
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
            name != "XDG_SESSION_TYPE")
            environment.push_back(text);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    std::vector<std::string> texts{"timeout", "-s", "KILL", "20", program};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv, envp;
    for (std::string& text : texts)
        argv.push_back(text.data());
    for (std::string& text : environment)
        envp.push_back(text.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    const fs::path out = fs::temp_directory_path() / ("velmora-cli-" + std::to_string(::getpid()) + ".out");
    const fs::path err = fs::path(out).replace_extension(".err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    Outcome outcome;
    if (posix_spawnp(&child, "timeout", &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = contentOf(out);
    outcome.err = contentOf(err);
    fs::remove(out);
    fs::remove(err);
    return outcome;
}

enum Programs { kWindow = 1, kDaemon = 2, kBoth = kWindow | kDaemon };

struct Row {
    Programs programs;
    std::vector<std::string> arguments;
    int status;
    std::string out, err;
    bool outIsPrefix = false; // `out` only begins what the program writes
    bool errIsLastLine = false; // without CAP_NET_RAW a run that counts says so first
    std::vector<std::string> environment = {};
};

std::string named(std::string text, const std::string& name)
{
    for (std::size_t at = text.find("NAME"); at != std::string::npos; at = text.find("NAME", at + name.size()))
        text.replace(at, 4, name);
    return text;
}

const std::string kNoProfiles = "NAME: no profile directory /nonexistent/profiles\n";
const std::string kNoDisplay = "NAME: no display to open the window on; velmorad counts traffic without one\n";

} // namespace

TEST(CommandLineTable, EveryOptionOfBothPrograms)
{
    const fs::path data = fs::temp_directory_path() / ("velmora-cli-data-" + std::to_string(::getpid()));
    fs::create_directories(data / "profiles");
    // A copy that already runs on `data`: a second one says so and ends before it counts.
    InstanceLock running;
    ASSERT_EQ(running.acquire(data), InstanceLock::State::Acquired);
    const std::string refused = "NAME: Velmora is already running on " + data.string() + "\n";
    const std::string emptyReport = "{\n  \"period\": \"2026-01\",\n  \"profiles\": [\n    {\n"
                                    "      \"name\": \"Default\",\n      \"rows\": [],\n"
                                    "      \"downloaded\": 0, \"uploaded\": 0, \"total\": 0\n    }\n  ]\n}\n";
    const Row rows[] = {
        {kBoth, {"--version"}, 0, "NAME " VELMORA_VERSION "\n", ""},
        {kBoth, {"-v"}, 0, "NAME " VELMORA_VERSION "\n", ""},
        {kBoth, {"--help"}, 0, "Usage: NAME [options]\n", "", true},
        {kBoth, {"-h"}, 0, "Usage: NAME [options]\n", "", true},
        {kBoth, {"--help", "--bogus"}, 2, "", "NAME: Unknown option 'bogus'.\n"},
        {kBoth, {"--headless", "--data", data.string()}, 1, "", refused, false, true},
        {kDaemon, {"--data", data.string(), "--metrics-file", "/nonexistent/m.prom"}, 1, "", refused, false, true},
        // The window: without a display one line and status 1; Qt's options (and their values)
        // go to Qt, which a refusal to run twice in one directory shows.
        {kWindow, {}, 1, "", kNoDisplay, false, true},
        {kWindow, {"-display", ":97", "-stylesheet", "x.qss", "-style=fusion", "-reverse"}, 1, "", kNoDisplay, false, true},
        {kWindow, {"-platform", "offscreen"}, 1, "", "NAME: Velmora is already running on DATA.\n", false, true},
        {kWindow, {"-stylesheet"}, 2, "", "NAME: Missing value after '-stylesheet'.\n"},
        {kWindow, {"--report", "-style", "fusion"}, 2, "", "NAME: -style is an option of the window, not of --report\n"},
        {kDaemon, {"-stylesheet", "x.qss"}, 2, "", "NAME: Unknown option 'stylesheet'.\n"},
        {kBoth, {"--report", "--data", data.string(), "--month=2026-01", "--format", "json"}, 0, emptyReport, ""},
        {kBoth, {"--report", "--data=" + data.string(), "--profile", "Default", "--year", "2025", "--unit=GB"}, 0,
         "Default, 2025 (GB)\nMonth  Total Downloaded  Total Uploaded  Total\nTotal              0.00            0.00   0.00\n",
         ""},
        {kBoth, {"--report", "--data", data.string(), "--profile", "Home"}, 2, "", "NAME: no profile named \"Home\"\n"},
        {kBoth, {"--data=/nonexistent", "--report", "--profile=x", "--format=csv"}, 2, "", kNoProfiles},
        {kBoth, {"--report", "--unit", "PB"}, 2, "", "NAME: unknown unit \"PB\" (B, KB, MB or GB)\n"},
        {kBoth, {"--month", "2026-01"}, 2, "", "NAME: --month needs --report\n"},
        {kBoth, {"--headless", "--format", "csv"}, 2, "", "NAME: --format needs --report\n"},
        {kBoth, {"--year", "2026", "--data", "/"}, 2, "", "NAME: --year needs --report\n"},
        {kBoth, {"--report", "--metrics-file", "m.prom"}, 2, "", "NAME: --metrics-file needs --headless\n"},
        {kBoth, {"--report", "--counting", "ring"}, 2, "", "NAME: --counting needs a run that counts, not --report\n"},
        {kBoth, {"--headless", "--counting=bpf"}, 2, "", "NAME: unknown counting source \"bpf\" (auto, ring or tc)\n"},
        {kWindow, {"--data", "/tmp"}, 2, "", "NAME: --data needs --report or --headless\n"},
        {kBoth, {"--report", "--headless"}, 2, "", "NAME: --report and --headless exclude each other\n"},
        {kBoth, {"--report", "profiles"}, 2, "", "NAME: unexpected argument \"profiles\"\n"},
        {kBoth, {"-"}, 2, "", "NAME: unexpected argument \"-\"\n"},
        {kWindow, {"--", "x"}, 2, "", "NAME: unexpected argument \"x\"\n"},
        {kBoth, {"--reprot"}, 2, "", "NAME: Unknown option 'reprot'.\n"},
        {kBoth, {"---x"}, 2, "", "NAME: Unknown option '-x'.\n"},
        {kBoth, {"--\x1b[2J\xff"}, 2, "", "NAME: Unknown option '\\x1b[2J\\xff'.\n"},
        {kBoth, {"--report=yes"}, 2, "", "NAME: Unexpected value after '--report'.\n"},
        {kBoth, {"--report", "--month"}, 2, "", "NAME: Missing value after '--month'.\n"},
        {kBoth, {"--report", "--data"}, 2, "", "NAME: Missing value after '--data'.\n"},
        {kBoth, {"-reprot"}, 2, "", "NAME: Unknown option 'reprot'.\n"},
        {kBoth, {"--keep-hours", "0"}, 2, "", "NAME: --keep-hours takes a number of days from 1 to 999999, not \"0\"\n"},
        {kBoth, {"--report", "--keep-hours=30"}, 2, "", "NAME: --keep-hours needs a run that counts, not --report\n"},
        {kBoth, {"--hours", "2026-01-01"}, 2, "", "NAME: --hours needs --report\n"},
        {kBoth, {"--report", "--top-days", "3", "--hours", "2026-01-01"}, 2, "",
         "NAME: --hours reports one day: not with --month, --year or --top-days\n"},
    };
    for (const Row& row : rows)
        for (const auto& [program, name] : {std::pair{kWindow, std::string(VELMORA_WINDOW_BINARY)},
                                            std::pair{kDaemon, std::string(VELMORA_DAEMON_BINARY)}}) {
            if (!(row.programs & program) || name.empty())
                continue;
            const std::string shortName = fs::path(name).filename();
            std::string call = shortName;
            for (const std::string& argument : row.arguments)
                call += " " + argument;
            SCOPED_TRACE(call);
            const Outcome outcome = run(name, row.arguments, data, row.environment);
            EXPECT_EQ(outcome.status, row.status);
            const std::string out = named(row.out, shortName);
            EXPECT_EQ(row.outIsPrefix ? outcome.out.substr(0, out.size()) : outcome.out, out);
            std::string err = named(row.err, shortName);
            for (std::size_t at; (at = err.find("DATA")) != std::string::npos;)
                err.replace(at, 4, data.string());
            const std::size_t lastLine = outcome.err.rfind('\n', outcome.err.size() - 2);
            EXPECT_EQ(row.errIsLastLine && lastLine != std::string::npos ? outcome.err.substr(lastLine + 1) : outcome.err, err);
        }
    fs::remove_all(data);
}

// --help: each section's descriptions start in one column, and no line is wider than 79.
TEST(CommandLineTable, HelpIsAligned)
{
    for (const std::string& name : {std::string(VELMORA_WINDOW_BINARY), std::string(VELMORA_DAEMON_BINARY)}) {
        if (name.empty())
            continue;
        const std::string help = run(name, {"--help"}, fs::temp_directory_path()).out;
        SCOPED_TRACE(help);
        std::istringstream lines(help);
        std::size_t column = 0;
        int options = 0;
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 79u) << line;
            if (line.empty() || line.back() == ':') {
                column = 0; // a new section
                continue;
            }
            if (line.rfind("  ", 0) != 0)
                continue;
            ++options;
            const std::size_t gap = line.rfind("  -", 0) == 0 ? line.find("  ", 2) : 0;
            const std::size_t start = line.find_first_not_of(' ', gap);
            if (column == 0)
                column = start;
            EXPECT_EQ(start, column) << line;
        }
        EXPECT_GE(options, 11) << name;
    }
}
