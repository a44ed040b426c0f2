#pragma once
// Where a profile's file lives and how it is replaced on disk.

#include <filesystem>
#include <string>
#include <string_view>

class CProfile;

// The file name of the profile called `name`: the name (as it reads back from its file)
// + ".xml", with "/" replaced and "." or ".." turned into "_" or "__" so the file stays inside
// its directory, and cut at a character boundary to keep "<name>.xml.removed" within the
// 255 bytes a Linux file name may have.
std::string profileFileName(const std::string& name);

// Writes `content` to "<target>.tmp" next to `target`, flushes it to disk, then renames it over
// `target`: whatever happens, `target` holds either its old content or the new one in full.
bool replaceFileAtomically(const std::filesystem::path& target, std::string_view content);

// Flushes a directory's entries (the renames done in it) to disk.
bool syncDirectory(const std::filesystem::path& directory);

// CProfile::save without the directory flush, for callers that save many files at once.
bool writeProfileFile(const CProfile& profile, const std::filesystem::path& directory);
