#include "service/metrics_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string failure(const char* step, int error)
{
    return std::string(step) + ": " + std::strerror(error);
}

} // namespace

std::string replaceMetricsFile(const std::filesystem::path& path, std::string_view text)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    // Whatever sits under the temporary name (a crash's leftover, a planted link) is replaced,
    // never written through.
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return failure("cannot create the temporary file", errno);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(temporary.c_str());
            return failure("cannot write", error);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failure("cannot write", error);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failure("cannot rename the temporary file", error);
    }
    return {};
}

std::string MetricsFile::write(std::string_view text)
{
    const std::string reason = replaceMetricsFile(path, text);
    if (!reason.empty()) {
        if (failing)
            return {};
        failing = true;
        return "metrics file " + path.string() + ": " + reason;
    }
    if (!failing)
        return {};
    failing = false;
    return "metrics file " + path.string() + " written again";
}
