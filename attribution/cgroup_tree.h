#pragma once
// The cgroup (v2) hierarchy as the kernel source's flows name it: a cgroup's id is the inode
// number of its directory. Finds the hierarchy in the mount table and turns ids into paths,
// remembering what it found and walking the tree again when it meets an id it does not know.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

// Where the cgroup v2 hierarchy is mounted, from a mount table in the format of
// /proc/self/mounts (a hybrid system mounts it at /sys/fs/cgroup/unified, a unified one at
// /sys/fs/cgroup). Empty when none is.
std::string findCgroupRoot(const std::string& mountTable = "/proc/self/mounts");

class CgroupTree {
public:
    explicit CgroupTree(std::string root);

    // The cgroup's path below the root ("/" for the root itself, "/system.slice/sshd.service"),
    // or nothing when no directory of the tree has the id (the cgroup was removed before it
    // was seen). A miss walks the tree again, at most once per `rescanInterval`: ids of
    // removed cgroups keep coming until their flows end.
    std::optional<std::string> pathOf(std::uint64_t id);

    std::chrono::milliseconds rescanInterval{1000};

private:
    void rescan();

    std::string root;
    struct Known {
        std::string path;
        std::uint64_t seenInScan = 0;
    };
    std::unordered_map<std::uint64_t, Known> paths; // by id
    std::uint64_t scans = 0;
    std::optional<std::chrono::steady_clock::time_point> lastScan;
};
