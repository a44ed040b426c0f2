#include "profile/instance_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::~InstanceLock()
{
    if (fd >= 0)
        ::close(fd); // closing the last descriptor releases the flock
}

InstanceLock::State InstanceLock::acquire(const std::filesystem::path& dataDirectory)
{
    if (fd >= 0)
        return State::Acquired;
    const std::filesystem::path file = dataDirectory / kFileName;
    // O_NOFOLLOW: a symbolic link planted in the data directory must not make us truncate
    // another file below. Readable by its owner only: flock needs no more than read access,
    // so anyone who could open the file could hold the lock and block every start.
    const int opened = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (opened < 0) {
        error = "cannot open " + file.string() + ": " + std::strerror(errno);
        return State::Failed;
    }
    // A lock file of an earlier version (0644) is closed to others; one of another owner is
    // left as it is, owner and mode.
    struct stat status {};
    if (::fstat(opened, &status) == 0 && status.st_uid == ::geteuid() && (status.st_mode & 077) != 0)
        ::fchmod(opened, 0600);
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        const int savedErrno = errno;
        ::close(opened);
        if (savedErrno == EWOULDBLOCK)
            return State::HeldByOther;
        error = "cannot lock " + file.string() + ": " + std::strerror(savedErrno);
        return State::Failed;
    }
    fd = opened;
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0)
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    return State::Acquired;
}
