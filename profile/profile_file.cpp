#include "profile/profile_file.h"

#include "profile/profile.h"
#include "profile/profile_writer.h"
#include "profile/profile_xml_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxStemBytes = 255 - std::string_view(".xml.removed.99").size();
constexpr std::size_t kHashChars = 16;

bool writeAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The name made fit for a file name, cut to at most `maxBytes`.
std::string fileStem(const std::string& name, std::size_t maxBytes)
{
    std::string stem = storableText(name);
    if (stem == "." || stem == "..")
        stem.assign(stem.size(), '_');
    for (char& c : stem)
        if (c == '/')
            c = '_';
    if (stem.size() > maxBytes) {
        std::size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut; // never split a UTF-8 sequence
        stem.resize(cut);
    }
    return stem;
}

// FNV-1a over the name's bytes, as 16 hex digits: stable across runs and builds, which the
// file names need.
std::string nameHash(const std::string& name)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static const char digits[] = "0123456789abcdef";
    std::string text(kHashChars, '0');
    for (std::size_t i = kHashChars; i-- > 0; hash >>= 4)
        text[i] = digits[hash & 0xF];
    return text;
}

// Mode bits of an existing target, for its replacement; nothing when there is no target.
std::optional<mode_t> existingMode(const std::filesystem::path& target)
{
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return info.st_mode & 07777;
}

} // namespace

std::string errorText(int error)
{
    return std::generic_category().message(error);
}

std::string profileFileName(const std::string& name)
{
    const std::string whole = fileStem(name, kMaxStemBytes);
    if (whole == name)
        return whole + ".xml";
    return fileStem(name, kMaxStemBytes - kHashChars - 1) + "~" + nameHash(name) + ".xml";
}

std::string legacyProfileFileName(const std::string& name)
{
    return fileStem(name, kMaxStemBytes) + ".xml";
}

AtomicFileBatch::~AtomicFileBatch()
{
    for (const Pending& file : pending) {
        ::close(file.fd);
        ::unlink(file.temporary.c_str());
    }
}

void AtomicFileBatch::recordFailure(const std::filesystem::path& file, int error)
{
    failed.push_back(SaveFailure{file, errorText(error)});
}

// Opens a fresh temporary. Out of descriptors, the temporaries open so far are committed (they
// hold their descriptors until then) and the open is tried again.
int AtomicFileBatch::openTemporary(const std::filesystem::path& temporary)
{
    for (;;) {
        // A temporary left by a crash (or anything planted under its name, a symbolic link
        // included) is replaced by a file of our own, never written through.
        ::unlink(temporary.c_str());
        const int fd = ::open(temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || pending.empty())
            return fd;
        earlierFailed = !flushPending() || earlierFailed;
    }
}

bool AtomicFileBatch::add(const std::filesystem::path& target, std::string_view content)
{
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    // The same file added twice: the later content wins.
    const auto same = std::find_if(pending.begin(), pending.end(),
                                   [&](const Pending& file) { return file.target == target; });
    if (same != pending.end()) {
        ::close(same->fd);
        pending.erase(same);
    }
    if (pending.size() >= kMaxOpen)
        earlierFailed = !flushPending() || earlierFailed;
    const int fd = openTemporary(temporary);
    if (fd < 0) {
        recordFailure(target, errno);
        return false;
    }
    const std::optional<mode_t> mode = existingMode(target);
    if (!writeAll(fd, content) || (mode && ::fchmod(fd, *mode) != 0)) {
        recordFailure(target, errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    // Start the write-back now; commit() waits for it.
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    pending.push_back(Pending{target, std::move(temporary), fd});
    return true;
}

bool AtomicFileBatch::commit()
{
    const bool ok = flushPending() && !earlierFailed;
    earlierFailed = false;
    return ok;
}

bool AtomicFileBatch::flushPending()
{
    bool ok = true;
    for (const Pending& file : pending) {
        int error = ::fsync(file.fd) == 0 ? 0 : errno;
        if (::close(file.fd) != 0 && error == 0)
            error = errno;
        if (error == 0 && ::rename(file.temporary.c_str(), file.target.c_str()) != 0)
            error = errno;
        if (error != 0) {
            recordFailure(file.target, error);
            ::unlink(file.temporary.c_str());
            ok = false;
        }
    }
    pending.clear();
    return ok;
}

bool replaceFileAtomically(const std::filesystem::path& target, std::string_view content, SaveFailures* failures)
{
    AtomicFileBatch batch;
    const std::filesystem::path directory = target.has_parent_path() ? target.parent_path() : ".";
    const bool ok = batch.add(target, content) && batch.commit();
    if (failures != nullptr)
        *failures = batch.failures();
    return ok && syncDirectory(directory, failures);
}

bool syncDirectory(const std::filesystem::path& directory, SaveFailures* failures)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok && failures != nullptr)
        failures->push_back(SaveFailure{directory, errorText(error)});
    return ok;
}

bool addProfileFile(AtomicFileBatch& batch, const CProfile& profile,
                    const std::filesystem::path& directory)
{
    return batch.add(directory / profileFileName(profile.getName()), profileDocument(profile));
}

bool CProfile::save(const std::string& directory) const
{
    const std::filesystem::path folder = directory.empty() ? "." : directory;
    return replaceFileAtomically(folder / profileFileName(name), profileDocument(*this));
}

bool CProfile::load(const std::string& path)
{
    ProfileXmlReader reader;
    return reader.read(path, *this);
}
