#include "profile/profile_file.h"

#include "profile/profile.h"
#include "profile/profile_writer.h"
#include "profile/profile_xml_reader.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxStemBytes = 255 - std::string_view(".xml.removed.99").size();

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

} // namespace

std::string profileFileName(const std::string& name)
{
    std::string stem = storableText(name);
    if (stem == "." || stem == "..")
        stem.assign(stem.size(), '_');
    for (char& c : stem)
        if (c == '/')
            c = '_';
    if (stem.size() > kMaxStemBytes) {
        std::size_t cut = kMaxStemBytes;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut; // never split a UTF-8 sequence
        stem.resize(cut);
    }
    return stem + ".xml";
}

AtomicFileBatch::~AtomicFileBatch()
{
    for (const Pending& file : pending) {
        ::close(file.fd);
        ::unlink(file.temporary.c_str());
    }
}

bool AtomicFileBatch::add(const std::filesystem::path& target, std::string_view content)
{
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    // The same file added twice (two profiles of one name): the later content wins.
    const auto same = std::find_if(pending.begin(), pending.end(),
                                   [&](const Pending& file) { return file.target == target; });
    if (same != pending.end()) {
        ::close(same->fd);
        pending.erase(same);
    }
    // A temporary left by a crash (or anything planted under its name, a symbolic link
    // included) is replaced by a file of our own, never written through.
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          0666);
    if (fd < 0)
        return false;
    if (!writeAll(fd, content)) {
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
    bool ok = true;
    for (const Pending& file : pending) {
        bool written = ::fsync(file.fd) == 0;
        written = ::close(file.fd) == 0 && written;
        if (!written || ::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
            ::unlink(file.temporary.c_str());
            ok = false;
        }
    }
    pending.clear();
    return ok;
}

bool replaceFileAtomically(const std::filesystem::path& target, std::string_view content)
{
    AtomicFileBatch batch;
    return batch.add(target, content) && batch.commit();
}

bool syncDirectory(const std::filesystem::path& directory)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
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
    return replaceFileAtomically(folder / profileFileName(name), profileDocument(*this)) &&
           syncDirectory(folder);
}

bool CProfile::load(const std::string& path)
{
    ProfileXmlReader reader;
    return reader.read(path, *this);
}
