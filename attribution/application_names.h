#pragma once
// The name a person recognises for a cgroup, from what the desktop and systemd already say:
//
//   .../app-gnome-org.gnome.Terminal-4321.scope   the desktop file's Name ("Terminal") and Icon
//   .../app-flatpak-org.mozilla.firefox-77.scope  (app-[<launcher>-]<file id>-<number>.scope,
//   .../app-org.kde.konsole@3f2a.service           app-[<launcher>-]<file id>[@<number>].service)
//   /system.slice/sshd.service                    "sshd"
//   /system.slice/docker-3f2a9c1d0b7e....scope     "container 3f2a9c1d0b7e" (docker, podman's
//                                                  libpod, cri-containerd, crio; /docker/<id>)
//   /user.slice/user-1000.slice/session-3.scope   "Terminal session 3"
//   anything else                                 its path, "/" and id 0 "System"
//
// The nearest of the cgroup's own directory and its parents that a rule knows names it (a
// container's processes may sit in a cgroup below its scope). The number systemd gives each
// start of an application is never part of the name, so an application started again is the
// same row.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct ApplicationName {
    std::string name;
    std::string icon; // the desktop file's Icon= (a theme name or a path); empty without one
    bool operator==(const ApplicationName&) const = default;
};

// What the kernel source counts without a socket (id 0) and the root cgroup's traffic.
inline constexpr const char* kSystemApplication = "System";
// Traffic of a cgroup that was removed before its name was looked up.
inline constexpr const char* kEndedApplication = "Ended programs";

// Where desktop files are looked for, in order: $XDG_DATA_HOME (~/.local/share), then each
// directory of $XDG_DATA_DIRS (/usr/local/share:/usr/share when unset); the files are in
// their applications/ folders.
std::vector<std::string> desktopDataDirectories();

class ApplicationNamer {
public:
    explicit ApplicationNamer(std::vector<std::string> dataDirectories = desktopDataDirectories());

    // The name of the cgroup at `path` below the hierarchy's root ("/" is the root).
    ApplicationName nameOf(const std::string& path);

private:
    ApplicationName desktopApplication(const std::string& fileId);

    std::vector<std::string> dataDirectories;
    std::unordered_map<std::string, ApplicationName> byDesktopFile; // read once per file id
};
