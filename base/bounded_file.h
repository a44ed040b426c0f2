#pragma once
// A small file read whole without ever waiting: opened with O_NONBLOCK (a FIFO under the name
// neither stalls the open nor is read), checked on the descriptor opened to be a regular file
// of at most a given size, then read to its end. Profiles, quotas.json and the crossing
// record are read through here.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct FileBounds {
    std::uintmax_t maxBytes = 0;
    bool followLinks = false; // false: a symbolic link under the name is refused, not followed
    bool sizeInMiB = false;   // the "larger than" text names the bound in MiB, else in KiB
};

// The file's bytes, or nullopt with `problem` saying why: the system's error text, "a symbolic
// link, not followed", "not a regular file", "larger than 4 MiB" (also for a file that grew
// past the bound while it was read). `absent`, when given, is set when there is no such file.
std::optional<std::string> readBoundedFile(const std::filesystem::path& file, const FileBounds& bounds,
                                           std::string& problem, bool* absent = nullptr);
