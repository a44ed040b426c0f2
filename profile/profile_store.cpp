#include "profile/profile_store.h"

#include "profile/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <system_error>

namespace {

const std::string kDefaultName = "Default";

bool isProfileFile(const std::filesystem::directory_entry& entry)
{
    std::error_code error;
    // Regular files only (symbolic links followed): a directory or a FIFO named *.xml is
    // not a profile.
    if (!entry.is_regular_file(error))
        return false;
    const std::string name = entry.path().filename().string();
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".xml") == 0;
}

// Renames `from` to `to` unless `to` exists; false with errno set otherwise.
bool renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // The file system cannot refuse to replace: check first (not atomic, but never deletes
    // anything this program wrote unless another process races it).
    std::error_code error;
    if (std::filesystem::exists(to, error) || error) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// "<name>.xml" becomes "<name>.xml.removed"; when that exists from an earlier removal,
// "<name>.xml.removed.2", ".3", ... so no earlier history is overwritten.
bool setAside(const std::filesystem::path& file)
{
    for (int attempt = 1; attempt < 100; ++attempt) {
        std::filesystem::path target = file;
        target += ".removed";
        if (attempt > 1)
            target += "." + std::to_string(attempt);
        if (renameWithoutReplacing(file, target))
            return true;
        if (errno == ENOENT)
            return true; // never saved, or set aside already
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool setAsideRemoved(const ProfileList& profiles, const std::vector<std::string>& removedNames,
                     const std::filesystem::path& directory)
{
    bool ok = true;
    for (const std::string& removed : removedNames) {
        const std::string fileName = profileFileName(removed);
        const bool stillUsed = std::any_of(profiles.begin(), profiles.end(), [&](const CProfile& p) {
            return profileFileName(p.getName()) == fileName;
        });
        if (!stillUsed)
            ok = setAside(directory / fileName) && ok;
    }
    return ok;
}

} // namespace

CProfile makeDefaultProfile(const std::string& address)
{
    CProfile profile;
    profile.setName(kDefaultName);
    profile.setIp(address);
    profile.addIpFilter("*.*.*.*", true);
    profile.addPortFilter(true, 0);
    return profile;
}

void loadAllProfiles(ProfileList& profiles, const std::filesystem::path& directory,
                     const std::string& firstLocalAddress)
{
    profiles.clear();
    bool defaultLoaded = false;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    for (const auto end = std::filesystem::directory_iterator(); !error && entries != end;
         entries.increment(error)) {
        if (!isProfileFile(*entries))
            continue;
        CProfile profile;
        if (!profile.load(entries->path().string()))
            continue; // rejected by the parser: skipped, and the file stays as it is
        defaultLoaded = defaultLoaded || profile.getName() == kDefaultName;
        profiles.push_back(std::move(profile));
    }
    if (!defaultLoaded)
        profiles.insert(profiles.begin(), makeDefaultProfile(firstLocalAddress));
}

bool saveAllProfiles(const ProfileList& profiles, const std::vector<std::string>& removedNames,
                     const std::filesystem::path& directory)
{
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error)
        return false;
    bool ok = true;
    for (const CProfile& profile : profiles)
        ok = writeProfileFile(profile, directory) && ok;
    ok = setAsideRemoved(profiles, removedNames, directory) && ok;
    return syncDirectory(directory) && ok;
}
