#pragma once
// Temporary directories and whole-file helpers for the profile file tests.

#include "profile/profile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code error;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path / name; }
    std::filesystem::path path;
};

inline void writeFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The names in a directory, sorted.
inline std::vector<std::string> listDirectory(const std::filesystem::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A profile file around `body`, which stands inside one "Profile" element.
inline std::string profileFileText(const std::string& body)
{
    return "<?xml version=\"1.0\"?>\n<Profiles><Profile>" + body + "</Profile></Profiles>";
}

// Loads `text` from a file in `dir` into a fresh profile; `loaded` tells whether it was accepted.
inline CProfile loadText(const TempDir& dir, const std::string& text, bool* loaded = nullptr)
{
    const std::filesystem::path file = dir / "input.xml";
    writeFile(file, text);
    CProfile profile;
    const bool ok = profile.load(file.string());
    if (loaded)
        *loaded = ok;
    return profile;
}

inline double downOn(const CProfile& profile, int year, int month, int day)
{
    const YearHistory* record = profile.findYear(year);
    return record ? record->days[YearHistory::slotOf(month, day)].down : -1.0;
}

inline double upOn(const CProfile& profile, int year, int month, int day)
{
    const YearHistory* record = profile.findYear(year);
    return record ? record->days[YearHistory::slotOf(month, day)].up : -1.0;
}
