// Both binaries, run for real: what each command line prints on stdout and stderr and the exit
// status it ends with. A row names the programs it holds for; NAME in its texts stands for the
// program's name.

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

// Runs `program` in an environment without a display (plus the NAME=value entries of `extra`)
// for at most 20 s and collects what it says.
Outcome run(const std::string& program, const std::vector<std::string>& arguments,
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
    std::vector<std::string> environment = {};
};

std::string named(std::string text, const std::string& name)
{
    for (std::size_t at = text.find("NAME"); at != std::string::npos; at = text.find("NAME", at + name.size()))
        text.replace(at, 4, name);
    return text;
}

const std::string kNoProfiles = "NAME: no profile directory /nonexistent/profiles\n";

} // namespace

TEST(CommandLineTable, EveryOptionOfBothPrograms)
{
    const fs::path data = fs::temp_directory_path() / ("velmora-cli-data-" + std::to_string(::getpid()));
    fs::create_directories(data / "profiles");
    const std::string emptyReport = "{\n  \"period\": \"2026-01\",\n  \"profiles\": [\n    {\n"
                                    "      \"name\": \"Default\",\n      \"rows\": [],\n"
                                    "      \"downloaded\": 0, \"uploaded\": 0, \"total\": 0\n    }\n  ]\n}\n";
    const Row rows[] = {
        {kBoth, {"--version"}, 0, "NAME " VELMORA_VERSION "\n", ""},
        {kBoth, {"-v"}, 0, "NAME " VELMORA_VERSION "\n", ""},
        {kBoth, {"--help"}, 0, "Usage: NAME [options]\n", "", true},
        {kBoth, {"-h"}, 0, "Usage: NAME [options]\n", "", true},
        {kWindow, {"--help", "--bogus"}, 2, "", "NAME: Unknown option 'bogus'.\n"},
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
        {kWindow, {"--data", "/tmp"}, 2, "", "NAME: --data needs --report or --headless\n"},
        {kBoth, {"--report", "--headless"}, 2, "", "NAME: --report and --headless exclude each other\n"},
        {kBoth, {"--report", "profiles"}, 2, "", "NAME: unexpected argument \"profiles\"\n"},
        {kBoth, {"-"}, 2, "", "NAME: unexpected argument \"-\"\n"},
        {kWindow, {"--", "x"}, 2, "", "NAME: unexpected argument \"x\"\n"},
        {kBoth, {"--reprot"}, 2, "", "NAME: Unknown option 'reprot'.\n"},
        {kBoth, {"---x"}, 2, "", "NAME: Unknown option '-x'.\n"},
        {kBoth, {"--report=yes"}, 2, "", "NAME: Unexpected value after '--report'.\n"},
        {kBoth, {"--report", "--month"}, 2, "", "NAME: Missing value after '--month'.\n"},
        {kBoth, {"--report", "--data"}, 2, "", "NAME: Missing value after '--data'.\n"},
        {kDaemon, {"-reprot"}, 2, "", "NAME: Unknown option 'reprot'.\n"},
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
            const Outcome outcome = run(name, row.arguments, row.environment);
            EXPECT_EQ(outcome.status, row.status);
            const std::string out = named(row.out, shortName);
            EXPECT_EQ(row.outIsPrefix ? outcome.out.substr(0, out.size()) : outcome.out, out);
            EXPECT_EQ(outcome.err, named(row.err, shortName));
        }
    fs::remove_all(data);
}
