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

#include <vector>

// Replaces files atomically: each content goes to "<target>.tmp" next to its target, is flushed
// to disk, and only then renamed over the target. Whatever happens, a target holds either its
// old content or the new one in full. Writing many files, the batch starts their write-back
// as they are added and flushes them all at commit, so their disk flushes overlap.
class AtomicFileBatch {
public:
    AtomicFileBatch() = default;
    ~AtomicFileBatch(); // removes the temporaries of a batch never committed
    AtomicFileBatch(const AtomicFileBatch&) = delete;
    AtomicFileBatch& operator=(const AtomicFileBatch&) = delete;

    // Writes the temporary; false (and nothing left behind) when that fails.
    bool add(const std::filesystem::path& target, std::string_view content);
    // Flushes and renames every temporary written; false when any of them failed.
    bool commit();

private:
    struct Pending {
        std::filesystem::path target;
        std::filesystem::path temporary;
        int fd;
    };
    std::vector<Pending> pending;
};

bool replaceFileAtomically(const std::filesystem::path& target, std::string_view content);

// Flushes a directory's entries (the renames done in it) to disk.
bool syncDirectory(const std::filesystem::path& directory);

// Adds the profile's file in `directory` to `batch`.
bool addProfileFile(AtomicFileBatch& batch, const CProfile& profile,
                    const std::filesystem::path& directory);
