#pragma once
// What a .desktop file says of its application: the Name and Icon of its [Desktop Entry] group.
// Read through the bounded reader, so a FIFO or a huge file under the name neither stalls nor
// swells the caller (the engine's naming, the Applications window).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct DesktopEntry {
    std::string name; // Name= (the untranslated one); empty without one
    std::string icon; // Icon=: a theme icon's name or an absolute path; empty without one
};

// Larger than any desktop file: the biggest, with every translation, are a few tens of KiB.
inline constexpr std::uintmax_t kMaxDesktopFileBytes = 1 << 20;

// The file's entry; nullopt when it cannot be read (absent, not a regular file, too large).
std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file);
