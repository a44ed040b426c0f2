#include "attribution/cgroup_tree.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/stat.h>

namespace {

// Mount points in the mount table escape space, tab, newline and backslash as octal (\040).
std::string unescapeMountPoint(const std::string& field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const std::string digits = field.substr(i + 1, 3);
        if (field[i] == '\\' && digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
            text += char(std::stoi(digits, nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::uint64_t inodeOf(const std::filesystem::path& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? std::uint64_t(status.st_ino) : 0;
}

} // namespace

std::string findCgroupRoot(const std::string& mountTable)
{
    std::ifstream table(mountTable);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (fields >> device >> point >> type && type == "cgroup2")
            return unescapeMountPoint(point);
    }
    return {};
}

CgroupTree::CgroupTree(std::string rootDirectory) : root(std::move(rootDirectory)) {}

std::optional<std::string> CgroupTree::pathOf(std::uint64_t id)
{
    if (auto found = paths.find(id); found != paths.end())
        return found->second.path;
    const auto now = std::chrono::steady_clock::now();
    if (lastScan && now - *lastScan < rescanInterval)
        return std::nullopt;
    lastScan = now;
    rescan();
    if (auto found = paths.find(id); found != paths.end())
        return found->second.path;
    return std::nullopt;
}

// Every directory of the tree by inode number. A cgroup removed since keeps its path for one
// more walk (the last flows of a program that ended arrive after it), then goes. A directory
// that goes while it is walked is passed over, not the walk given up.
void CgroupTree::rescan()
{
    ++scans;
    const std::filesystem::path top(root);
    if (const std::uint64_t id = inodeOf(top); id != 0)
        paths[id] = {"/", scans};
    std::vector<std::filesystem::path> pending{top};
    while (!pending.empty()) {
        const std::filesystem::path directory = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
             entry.increment(error)) {
            if (!entry->is_directory(error) || entry->is_symlink(error))
                continue;
            if (const std::uint64_t id = inodeOf(entry->path()); id != 0)
                paths[id] = {"/" + entry->path().lexically_relative(top).string(), scans};
            pending.push_back(entry->path());
        }
    }
    std::erase_if(paths, [this](const auto& entry) { return entry.second.seenInScan + 1 < scans; });
}
