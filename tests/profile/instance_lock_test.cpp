// One copy per data directory: a second lock is refused while the first is held, taken once
// its holder is killed or releases it; a directory that cannot hold the lock file fails with
// the path in the error.
#include "profile/instance_lock.h"

#include "profile_files_support.h"

#include <csignal>
#include <gtest/gtest.h>
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
