#include "attribution/application_icons.h"

#include "attribution/desktop_entry.h"

#include <algorithm>
#include <filesystem>
#include <unordered_set>

namespace {

// The desktop files directly in `folder`, by file id, sorted so that two files giving the
// same name are always taken in the same order.
std::vector<std::filesystem::path> desktopFiles(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (entry->path().extension() == ".desktop")
            files.push_back(entry->path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

ApplicationIcons::ApplicationIcons(std::vector<std::string> directories) : dataDirectories(std::move(directories)) {}

const std::string& ApplicationIcons::iconOf(const std::string& application)
{
    static const std::string none;
    if (!foldersRead)
        readFolders();
    const auto found = byName.find(application);
    return found == byName.end() ? none : found->second;
}

void ApplicationIcons::readFolders()
{
    foldersRead = true;
    std::unordered_set<std::string> seenIds;
    std::size_t read = 0;
    for (const std::string& directory : dataDirectories)
        for (const std::filesystem::path& file : desktopFiles(std::filesystem::path(directory) / "applications")) {
            const std::string fileId = file.stem().string();
            if (seenIds.count(fileId) != 0)
                continue; // an earlier directory's file of this id is the one the namer reads
            if (read++ == kMaxDesktopFilesRead)
                return;
            const std::optional<DesktopEntry> entry = readDesktopEntry(file);
            if (!entry)
                continue; // unreadable: the namer passes on to the next directory's too
            seenIds.insert(fileId);
            if (!entry->icon.empty())
                byName.emplace(entry->name.empty() ? fileId : entry->name, entry->icon);
        }
}
