// One copy per data directory: a second lock is refused while the first is held, taken once
// its holder is killed or releases it; a directory that cannot hold the lock file fails with
// the path in the error.
#include "profile/instance_lock.h"

#include "support/profile_files.h"

#include <csignal>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

class InstanceLockTest : public testing::Test {
protected:
    TempDir temp;
    const fs::path directory = temp.path;
};

// The first holder runs in a child process, as another copy of the program would.
TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstIsKilledOrReleases)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock lock;
        const char state = lock.acquire(directory) == InstanceLock::State::Acquired ? 'A' : 'x';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &state, 1);
        ::pause();
        ::_exit(0);
    }
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(state, 'A');
    auto first = std::make_unique<InstanceLock>();
    EXPECT_EQ(first->acquire(directory), InstanceLock::State::HeldByOther);
    EXPECT_FALSE(first->isHeld());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    EXPECT_EQ(first->acquire(directory), InstanceLock::State::Acquired);
    EXPECT_EQ(readFile(directory / InstanceLock::kFileName), std::to_string(::getpid()) + "\n");
    InstanceLock second;
    EXPECT_EQ(second.acquire(directory), InstanceLock::State::HeldByOther);
    first.reset();
    EXPECT_EQ(second.acquire(directory), InstanceLock::State::Acquired);
}

// Read access is enough for flock: a lock file others can open lets them block every start.
TEST_F(InstanceLockTest, TheLockFileIsTheOwnersAlone)
{
    const fs::path file = directory / InstanceLock::kFileName;
    for (const bool earlierFile : {false, true}) {
        if (earlierFile) {
            const int old = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
            ASSERT_GE(old, 0);
            ::fchmod(old, 0644);
            ::close(old);
        }
        InstanceLock lock;
        ASSERT_EQ(lock.acquire(directory), InstanceLock::State::Acquired);
        struct stat status {};
        ASSERT_EQ(::stat(file.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u) << (earlierFile ? "an earlier 0644 file" : "a new file");
    }
    if (::geteuid() != 0)
        return;
    // Another user (nobody) can neither open it nor, therefore, lock it.
    fs::permissions(directory, fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(::open(file.c_str(), O_RDONLY) < 0 && errno == EACCES ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(InstanceLockTest, UnusableDirectoriesFailWithThePath)
{
    fs::create_directory(directory / "linked-lock");
    fs::create_symlink(directory / "victim", directory / "linked-lock" / InstanceLock::kFileName);
    const fs::path cases[] = {directory / "missing", directory / "linked-lock"};
    for (const fs::path& dataDirectory : cases) {
        InstanceLock lock;
        EXPECT_EQ(lock.acquire(dataDirectory), InstanceLock::State::Failed) << dataDirectory;
        EXPECT_NE(lock.lastError().find(dataDirectory.string()), std::string::npos) << lock.lastError();
        EXPECT_FALSE(lock.isHeld());
    }
    EXPECT_FALSE(fs::exists(directory / "victim"));
}
