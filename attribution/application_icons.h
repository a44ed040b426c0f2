#pragma once
// The icon of an application by the name usage.sqlite keeps for it. The name comes from the
// desktop file of the application's unit (application_names.h: its Name, or its file id when it
// has none), so the icon is found the other way round: every <dir>/applications/*.desktop of
// the data directories, in the same order, a file id seen in an earlier directory hiding the
// later ones, each name taking the Icon of the first file that gives it one.
//
//     ApplicationIcons icons;                      // nothing read yet
//     icons.iconOf("Firefox Web Browser");         // "firefox": the folders read, once
//     icons.iconOf("sshd");                        // "": no desktop file names it

#include "attribution/application_names.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// At most this many desktop files are read in all, so the first look stays quick however
// full the folders are (a desktop with every package installed has about two thousand).
inline constexpr std::size_t kMaxDesktopFilesRead = 10000;

class ApplicationIcons {
public:
    explicit ApplicationIcons(std::vector<std::string> dataDirectories = desktopDataDirectories());

    // The desktop file's Icon= (a theme icon's name or an absolute path); empty when no
    // desktop file names the application or it gives no icon. The first call reads the folders.
    const std::string& iconOf(const std::string& application);

private:
    void readFolders();

    std::vector<std::string> dataDirectories;
    bool foldersRead = false;
    std::unordered_map<std::string, std::string> byName;
};
