#include "profile/profile_store.h"

#include "base/program_log.h"
#include "profile/profile_file.h"
#include "profile/profile_xml_reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

const std::string kDefaultName = kDefaultProfileName;
constexpr std::size_t kFilesPerThread = 16;
constexpr std::size_t kMaxReadThreads = 4;

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
bool setAside(const std::filesystem::path& file, const char* suffix = ".removed")
{
    for (int attempt = 1; attempt < 100; ++attempt) {
        std::filesystem::path target = file;
        target += suffix;
        if (attempt > 1) {
            target += ".";
            target += std::to_string(attempt);
        }
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
                     const std::filesystem::path& directory, SaveFailures& failures)
{
    bool ok = true;
    for (const std::string& removed : removedNames) {
        const std::string fileName = profileFileName(removed);
        const bool stillUsed = std::any_of(profiles.begin(), profiles.end(), [&](const CProfile& p) {
            return profileFileName(p.getName()) == fileName;
        });
        if (!stillUsed && !setAside(directory / fileName)) {
            failures.push_back(SaveFailure{directory / fileName, errorText(errno)});
            ok = false;
        }
    }
    return ok;
}

// File names compared with ASCII letters folded to lower case, then byte by byte, so that
// "Work.xml" and "work.xml" still have an order of their own.
bool fileNameBefore(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const std::string left = a.filename().string();
    const std::string right = b.filename().string();
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : int(c); };
    const auto folded = std::lexicographical_compare_three_way(
        left.begin(), left.end(), right.begin(), right.end(),
        [&](unsigned char x, unsigned char y) { return lower(x) <=> lower(y); });
    return folded != 0 ? folded < 0 : left < right;
}

// The profile files of `directory` by file name, ignoring case. The file system lists them in
// an order of its own (on Linux one that changes as files are rewritten), and the profiles
// keep the order of their files in every list the user sees.
std::vector<std::filesystem::path> profileFiles(const std::filesystem::path& directory)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    for (const auto end = std::filesystem::directory_iterator(); !error && entries != end;
         entries.increment(error))
        if (isProfileFile(*entries))
            files.push_back(entries->path());
    std::sort(files.begin(), files.end(), fileNameBefore);
    return files;
}

// Reads every file into a fresh profile (as CProfile::load does); nothing for a file the
// parser rejects, and the reason in `reasons`. Files are independent, so a large directory is
// read by a few threads, each with a parser of its own; the results keep the order of `files`.
std::vector<std::optional<CProfile>> readProfileFiles(const std::vector<std::filesystem::path>& files,
                                                      std::vector<std::string>& reasons)
{
    std::vector<std::optional<CProfile>> results(files.size());
    reasons.assign(files.size(), {});
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        ProfileXmlReader reader;
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();) {
            CProfile profile;
            if (reader.read(files[i].string(), profile))
                results[i] = std::move(profile);
            else
                reasons[i] = reader.failure();
        }
    };
    const std::size_t threadCount = std::min<std::size_t>(
        {files.size() / kFilesPerThread, std::thread::hardware_concurrency(), kMaxReadThreads});
    const std::size_t helpers = threadCount > 1 ? threadCount - 1 : 0;
    std::vector<std::thread> threads;
    try {
        for (std::size_t i = 0; i < helpers; ++i)
            threads.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads: the ones running and this one share the files.
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
    return results;
}

// Temporaries a save was killed in the middle of ("<name>.xml.tmp", regular files only): the
// file they were to replace is whole, so they are only clutter.
void removeLeftoverTemporaries(const std::filesystem::path& directory)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    for (const auto end = std::filesystem::directory_iterator(); !error && entries != end;
         entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        std::error_code statError;
        if (name.size() > kTemporarySuffix.size() && name.ends_with(kTemporarySuffix) &&
            entries->symlink_status(statError).type() == std::filesystem::file_type::regular)
            ::unlink(entries->path().c_str());
    }
}

// How well a file's name fits the profile it holds: its own file name best, then the name an
// earlier version gave it, then any other.
int fileNameRank(const std::filesystem::path& file, const std::string& profileName)
{
    const std::string fileName = file.filename().string();
    if (fileName == profileFileName(profileName))
        return 0;
    return fileName == legacyProfileFileName(profileName) ? 1 : 2;
}

// One profile per name. Of several files holding the same name the one best named for it
// (then the first in file name order) is loaded; the others are left as they are, and said so.
void dropDuplicateNames(const std::vector<std::filesystem::path>& files,
                        std::vector<std::optional<CProfile>>& loaded)
{
    std::unordered_map<std::string, std::size_t> chosen; // name -> index into files
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!loaded[i])
            continue;
        const std::string& name = loaded[i]->getName();
        const auto [it, first] = chosen.try_emplace(name, i);
        if (first)
            continue;
        const std::size_t other = it->second;
        const auto key = [&](std::size_t k) {
            return std::make_pair(fileNameRank(files[k], name), files[k].filename().string());
        };
        const std::size_t keep = key(i) < key(other) ? i : other;
        const std::size_t drop = keep == i ? other : i;
        it->second = keep;
        logLine(files[drop].string() + " holds the profile \"" + name + "\" that " + files[keep].string() +
                    " holds too; it is left as it is and not loaded",
                LogBytes::Escaped);
        loaded[drop].reset();
    }
}

// A file that was not loaded (unreadable, rejected by the parser, or a duplicate) under the file
// name a loaded profile saves to would be replaced by that save: it is renamed first, to
// "<file>.rejected", so its content survives as it is.
void keepUnloadedFilesFromSaves(const std::vector<std::filesystem::path>& files,
                                const std::vector<std::optional<CProfile>>& loaded,
                                const std::vector<std::string>& savedNames)
{
    std::unordered_set<std::string> savedFiles;
    for (const std::string& name : savedNames)
        savedFiles.insert(profileFileName(name));
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (loaded[i] || !savedFiles.contains(files[i].filename().string()))
            continue;
        if (setAside(files[i], ".rejected"))
            logLine(files[i].string() + " could not be loaded; it is kept as " + files[i].string() +
                        ".rejected so that saving does not replace it",
                    LogBytes::Escaped);
        else
            logLine("could not set " + files[i].string() + " aside: " + errorText(errno), LogBytes::Escaped);
    }
}

// A profile read from the file name an earlier version gave it moves to its own file name, so
// the next save replaces that file instead of writing a second one.
void moveToOwnFileName(const std::filesystem::path& file, const std::string& profileName)
{
    if (fileNameRank(file, profileName) != 1)
        return;
    const std::filesystem::path own = file.parent_path() / profileFileName(profileName);
    if (!renameWithoutReplacing(file, own) && errno != EEXIST)
        logLine("could not rename " + file.string() + " to " + own.string() + ": " + errorText(errno),
                LogBytes::Escaped);
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
                     const std::string& firstLocalAddress, LoadMode mode,
                     std::vector<UnreadFile>* unread)
{
    profiles.clear();
    if (mode == LoadMode::Owner)
        removeLeftoverTemporaries(directory);
    const std::vector<std::filesystem::path> files = profileFiles(directory);
    std::vector<std::string> reasons;
    std::vector<std::optional<CProfile>> loaded = readProfileFiles(files, reasons);
    if (unread != nullptr)
        unread->clear();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (loaded[i])
            continue;
        if (mode == LoadMode::Owner)
            logLine(files[i].string() + " is not loaded (" + reasons[i] + "): the profile it holds counts nothing",
                    LogBytes::Escaped);
        if (unread != nullptr)
            unread->push_back(UnreadFile{files[i], reasons[i]});
    }
    dropDuplicateNames(files, loaded);
    std::vector<std::string> names;
    for (const std::optional<CProfile>& profile : loaded)
        if (profile)
            names.push_back(profile->getName());
    if (std::find(names.begin(), names.end(), kDefaultName) == names.end())
        names.push_back(kDefaultName);
    if (mode == LoadMode::Owner)
        keepUnloadedFilesFromSaves(files, loaded, names);
    bool defaultLoaded = false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::optional<CProfile>& profile = loaded[i];
        if (!profile)
            continue; // rejected by the parser: skipped, and the file stays as it is
        if (mode == LoadMode::Owner)
            moveToOwnFileName(files[i], profile->getName());
        defaultLoaded = defaultLoaded || profile->getName() == kDefaultName;
        profiles.push_back(std::move(*profile));
    }
    if (!defaultLoaded)
        profiles.insert(profiles.begin(), makeDefaultProfile(firstLocalAddress));
}

std::optional<CProfile> loadProfileFromOwnFile(const std::filesystem::path& directory, const std::string& name)
{
    ProfileXmlReader reader;
    for (const std::string& fileName : {profileFileName(name), legacyProfileFileName(name)}) {
        CProfile profile; // the reader refuses what is not a regular file
        if (reader.read((directory / fileName).string(), profile) && profile.getName() == name)
            return profile;
    }
    return std::nullopt;
}

bool saveAllProfiles(const ProfileList& profiles, const std::vector<std::string>& removedNames,
                     const std::filesystem::path& directory, SaveFailures* failures)
{
    SaveFailures ignored;
    SaveFailures& out = failures != nullptr ? *failures : ignored;
    out.clear();
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        out.push_back(SaveFailure{directory, errorText(error.value())});
        return false;
    }
    bool ok = true;
    AtomicFileBatch batch;
    for (const CProfile& profile : profiles)
        ok = addProfileFile(batch, profile, directory) && ok;
    ok = batch.commit() && ok;
    out = batch.failures();
    ok = setAsideRemoved(profiles, removedNames, directory, out) && ok;
    return syncDirectory(directory, &out) && ok;
}
