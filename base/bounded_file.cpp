#include "base/bounded_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string errorText(int error)
{
    return std::generic_category().message(error);
}

std::string tooLarge(const FileBounds& bounds)
{
    return "larger than " +
           (bounds.sizeInMiB ? std::to_string(bounds.maxBytes >> 20) + " MiB"
                             : std::to_string(bounds.maxBytes >> 10) + " KiB");
}

} // namespace

std::optional<std::string> readBoundedFile(const std::filesystem::path& file, const FileBounds& bounds,
                                           std::string& problem, bool* absent)
{
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (bounds.followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(file.c_str(), flags);
    if (fd < 0) {
        const int error = errno;
        if (absent != nullptr)
            *absent = error == ENOENT;
        problem = error == ELOOP && !bounds.followLinks ? "a symbolic link, not followed" : errorText(error);
        return std::nullopt;
    }
    if (absent != nullptr)
        *absent = false;
    std::optional<std::string> content;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        problem = errorText(errno);
    } else if (!S_ISREG(info.st_mode)) {
        problem = "not a regular file";
    } else if (static_cast<std::uintmax_t>(info.st_size) > bounds.maxBytes) {
        problem = tooLarge(bounds);
    } else {
        // Read to the end, not to the size seen: a file that grew since is refused whole. The
        // buffer starts at the size seen and grows only for a file that grew.
        std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
        std::size_t done = 0;
        bool failed = false;
        for (;;) {
            if (done == text.size()) {
                if (done > bounds.maxBytes)
                    break;
                text.resize(std::min<std::size_t>(text.size() * 2, static_cast<std::size_t>(bounds.maxBytes) + 1));
            }
            const ssize_t got = ::read(fd, text.data() + done, text.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                problem = errorText(errno);
                failed = true;
            }
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        if (!failed && done > bounds.maxBytes)
            problem = tooLarge(bounds);
        else if (!failed) {
            text.resize(done);
            content = std::move(text);
        }
    }
    ::close(fd);
    return content;
}
