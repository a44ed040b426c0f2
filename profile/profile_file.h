#pragma once
// Where a profile's file lives and how it is replaced on disk.

#include <filesystem>
#include <string>
#include <string_view>

class CProfile;

// The file name of the profile called `name`. A plain name keeps exactly "<name>.xml". A name
// that had to be changed to make a file name ("/" replaced, "." or ".." turned into "_" or "__"
// so the file stays inside its directory, invalid UTF-8 replaced, cut at a character boundary
// to keep "<name>.xml.removed" within the 255 bytes a Linux file name may have) gets "~" and a
// hash of the whole name before ".xml", so two different names never share a file.
std::string profileFileName(const std::string& name);
// The file name earlier versions gave the profile: the changed name without the hash. Files of
// that name are still read (every "*.xml" is); the store moves them to profileFileName.
std::string legacyProfileFileName(const std::string& name);

#include <vector>

// A file a save could not write (or the directory it could not make or flush), and why, in
// the system's words ("No space left on device").
struct SaveFailure {
    std::filesystem::path file;
    std::string reason;
};
using SaveFailures = std::vector<SaveFailure>;

// The suffix of the temporaries a save writes next to "<name>.xml"; a kill during a save can
// leave them behind.
inline constexpr std::string_view kTemporarySuffix = ".xml.tmp";

// Replaces files atomically: each content goes to "<target>.tmp" next to its target, is flushed
// to disk, and only then renamed over the target. Whatever happens, a target holds either its
// old content or the new one in full; the new file keeps the old one's permission bits.
// Writing many files, the batch starts their write-back as they are added and flushes them all
// at commit, so their disk flushes overlap. When the process runs out of descriptors, the
// files open so far are committed and the batch goes on.
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
    // Every file that failed so far, with its reason.
    const SaveFailures& failures() const { return failed; }

private:
    // Temporaries held open at once; more are committed in groups of this size.
    static constexpr std::size_t kMaxOpen = 64;
    bool flushPending();
    int openTemporary(const std::filesystem::path& temporary);
    void recordFailure(const std::filesystem::path& file, int error);

    struct Pending {
        std::filesystem::path target;
        std::filesystem::path temporary;
        int fd;
    };
    std::vector<Pending> pending;
    bool earlierFailed = false; // a group committed early had a failure
    SaveFailures failed;
};

// Flushes a directory's entries (the renames done in it) to disk; a failure goes to `failures`
// when given.
bool syncDirectory(const std::filesystem::path& directory, SaveFailures* failures = nullptr);

// One file replaced as a batch of one, then its directory flushed, so that the rename too
// survives a crash. False, with the file and the reason in `failures` when given, when any
// step failed.
bool replaceFileAtomically(const std::filesystem::path& target, std::string_view content,
                           SaveFailures* failures = nullptr);

// The system's text for an error number.
std::string errorText(int error);

// Adds the profile's file in `directory` to `batch`.
bool addProfileFile(AtomicFileBatch& batch, const CProfile& profile,
                    const std::filesystem::path& directory);
