// The real program: a terminating signal ends it through its teardown, which saves every
// profile. It runs on the offscreen platform in a temporary working directory.
#include "profile/profile_store.h"
#include "support/wait_for.h"

#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Hang guards only: a healthy run takes a fraction of these.
constexpr auto kStartLimit = 60s;
constexpr auto kExitLimit = 60s;

pid_t startVelmora(const fs::path& workingDirectory)
{
    const std::string binary = std::string(VELMORA_BINARY_DIR) + "/velmora";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(workingDirectory.c_str()) != 0)
            ::_exit(126);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// The meter thread exists once the window has loaded the profiles and started its workers.
bool meterThreadRuns(pid_t pid)
{
    std::error_code error;
    for (const auto& task : fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "velmora-meter")
            return true;
    }
    return false;
}

} // namespace

TEST(VelmoraProcess, TerminatingSignalsSaveEveryProfile)
{
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        QTemporaryDir temp;
        const fs::path directory = fs::path(temp.path().toStdString()) / "profiles";
        CProfile work = makeDefaultProfile("192.0.2.1");
        work.setName("Work");
        work.addToDayHistory(1234, true, LocalDate{2026, 0, 3});
        ASSERT_TRUE(saveAllProfiles({work}, {}, directory));

        const pid_t pid = startVelmora(temp.path().toStdString());
        ASSERT_GT(pid, 0);
        if (!waitFor([pid] { return meterThreadRuns(pid); }, kStartLimit)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            FAIL() << "velmora did not start";
        }
        ASSERT_FALSE(fs::exists(directory / "Default.xml"));
        ::kill(pid, signalNumber);
        int status = 0;
        const bool ended = waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, kExitLimit);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ASSERT_TRUE(ended) << "signal " << signalNumber;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "signal " << signalNumber;

        ProfileList saved;
        loadAllProfiles(saved, directory, "192.0.2.1");
        ASSERT_EQ(saved.size(), 2u) << "signal " << signalNumber;
        EXPECT_TRUE(fs::exists(directory / "Default.xml")); // written by the teardown
        const CProfile& savedWork = saved[0].name == "Work" ? saved[0] : saved[1];
        ASSERT_FALSE(savedWork.history.empty());
        EXPECT_EQ(savedWork.history[0].days[YearHistory::slotOf(0, 3)].down, 1234);
    }
}
