// 500 applications over a year of days in usage.sqlite, for one profile and for a few: the time
// from opening the Applications window to its first frame drawn with every row (and to the
// rows of this month and of a past month when chosen), and of the report by application over
// the year as a process of its own. Targets: the window under half a second, the report under
// a second. Not a Google Benchmark: one run builds each data set once and times each step
// RUNS times (see bench/README.md).
//
//     applications_load [RUNS] [REPORT_BINARY]     (REPORT_BINARY: the velmora built beside it)
//
// APPLICATIONS_LOAD_KEEP=1 keeps each data set's directory (named on stderr) for a look by hand.

#include "desktop/app/application_icons_qt.h"
#include "desktop/ui/applications/applications_dlg.h"
#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/applications_layout.h"
#include "profile/profile_list.h"
#include "profile/profile_store.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kApplications = 500;
constexpr int kYear = 2026;
constexpr LocalDate kFirstDay{kYear, 0, 1};
constexpr int kDays = 365;
const char* const kInterfaces[] = {"enp3s0", "wlp2s0", "docker0"};

std::string profileName(int i)
{
    return i == 0 ? "Default" : "Profile " + std::to_string(i);
}

std::string applicationName(int i)
{
    return i == 0 ? "System" : "Application " + std::to_string(i);
}

// A year of days of `profiles` profiles: each day every application counted (a few kilobytes to
// a few hundred megabytes), three interfaces, and the profile files' day totals their sum.
// usage.sqlite is written as the engine writes it, one save (one transaction) a day.
void writeDataSet(const std::filesystem::path& directory, int profiles)
{
    UsageDatabase usage;
    if (!usage.open(directory / kUsageDatabaseName)) {
        std::fprintf(stderr, "applications_load: %s\n", usage.lastError().c_str());
        std::exit(1);
    }
    ProfileList files;
    for (int p = 0; p < profiles; ++p) {
        files.push_back(makeDefaultProfile("192.0.2.10"));
        files.back().setName(profileName(p));
    }
    for (int day = 0; day < kDays; ++day) {
        const LocalDate date = DayClock::shiftedDate(kFirstDay, day);
        UsageBatch batch;
        for (int p = 0; p < profiles; ++p) {
            std::uint64_t down = 0, up = 0;
            for (int a = 0; a < kApplications; ++a) {
                const std::uint64_t in = 4096 * std::uint64_t(1 + (a * 37 + day * 11 + p * 5) % 65000);
                const std::uint64_t out = 512 * std::uint64_t(1 + (a * 13 + day * 7 + p) % 40000);
                batch.applications.push_back({profileName(p), applicationName(a), "", date, in, out});
                down += in;
                up += out;
            }
            for (std::size_t i = 0; i < std::size(kInterfaces); ++i)
                batch.interfaces.push_back({profileName(p), kInterfaces[i], "52:54:00:00:00:0" + std::to_string(i),
                                            date, down / 3, up / 3});
            files[std::size_t(p)].addToDayHistory((long long)down, true, date);
            files[std::size_t(p)].addToDayHistory((long long)up, false, date);
        }
        if (!usage.save(batch)) {
            std::fprintf(stderr, "applications_load: %s\n", usage.lastError().c_str());
            std::exit(1);
        }
    }
    if (!saveAllProfiles(files, {}, directory / "profiles")) {
        std::fprintf(stderr, "applications_load: the profile files could not be written\n");
        std::exit(1);
    }
}

struct Figures {
    std::vector<double> values;
    void add(double value) { values.push_back(value); }
    std::string text() const
    {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        char out[64];
        std::snprintf(out, sizeof out, "%.0f (%.0f-%.0f)", sorted[sorted.size() / 2], sorted.front(), sorted.back());
        return out;
    }
};

double millisecondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The window as View > Applications... opens it (icons from this machine's desktop files), on
// the last of the profiles on 31 December; then this month, then November.
void timeWindow(const std::filesystem::path& directory, int profiles, Figures& open, Figures& month, Figures& past)
{
    SharedProfiles shared;
    for (int p = 0; p < profiles; ++p) {
        shared.profiles.emplace_back();
        shared.profiles.back().setName(profileName(p));
    }
    const SharedProfileSource source(shared);
    const DayClock clock([] {
        std::tm noon{};
        noon.tm_year = kYear - 1900, noon.tm_mon = 11, noon.tm_mday = 31, noon.tm_hour = 12, noon.tm_isdst = -1;
        return std::mktime(&noon);
    });
    QElapsedTimer timer;
    timer.start();
    CApplicationsDlg window(source, {directory / kUsageDatabaseName, profileName(profiles - 1), true, &clock});
    window.setIconOf(desktopApplicationIcons());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "applications_load: the window was not shown\n");
    window.repaint();
    open.add(millisecondsSince(timer));
    if (window.applicationTable()->topLevelItemCount() != kApplications)
        std::fprintf(stderr, "applications_load: %d rows, not %d\n", window.applicationTable()->topLevelItemCount(),
                     kApplications);
    auto* periods = control<QComboBox>(&window, kApplicationsPeriodBoxId);
    for (auto [index, figures] : {std::pair{1, &month}, std::pair{2, &past}}) {
        timer.restart();
        periods->setCurrentIndex(index);
        window.repaint();
        figures->add(millisecondsSince(timer));
    }
}

// One run of the report as a process, its output to `output`: wall and CPU milliseconds.
std::pair<double, double> timeReport(const std::string& binary, const std::filesystem::path& directory,
                                     const std::filesystem::path& output)
{
    const std::string data = directory.string(), year = std::to_string(kYear);
    const char* argv[] = {binary.c_str(), "--report", "--by", "app", "--year", year.c_str(), "--data", data.c_str(),
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, binary.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
        std::fprintf(stderr, "applications_load: cannot run %s\n", binary.c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "applications_load: the report ended with status %d\n", status);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return {wall, ms(usage.ru_utime) + ms(usage.ru_stime)};
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string report = argc > 2 ? argv[2] : VELMORA_WINDOW_BINARY;
    QApplication app(argc, argv);
    std::printf("| profiles | rows | usage.sqlite | window open, today (ms) | this month | November | report wall (ms) | "
                "report CPU (ms) | report lines |\n|---|---|---|---|---|---|---|---|---|\n");
    for (int profiles : {1, 5}) {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-applications-XXXXXX").string();
        const std::filesystem::path directory = ::mkdtemp(pattern.data());
        writeDataSet(directory, profiles);
        Figures open, month, past, wall, cpu;
        for (int run = 0; run < runs; ++run) {
            timeWindow(directory, profiles, open, month, past);
            const auto [reportWall, reportCpu] = timeReport(report, directory, directory / "report.txt");
            wall.add(reportWall);
            cpu.add(reportCpu);
        }
        std::ifstream output(directory / "report.txt");
        const auto lines = std::count(std::istreambuf_iterator<char>(output), std::istreambuf_iterator<char>(), '\n');
        std::printf("| %d | %d | %.1f MB | %s | %s | %s | %s | %s | %ld |\n", profiles, profiles * kApplications * kDays,
                    double(std::filesystem::file_size(directory / kUsageDatabaseName)) / 1e6, open.text().c_str(),
                    month.text().c_str(), past.text().c_str(), wall.text().c_str(), cpu.text().c_str(), long(lines));
        std::fflush(stdout);
        if (!std::getenv("APPLICATIONS_LOAD_KEEP"))
            std::filesystem::remove_all(directory);
        else
            std::fprintf(stderr, "kept %s\n", directory.c_str());
    }
    return 0;
}
