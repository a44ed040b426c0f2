#pragma once
// Loads the profile list from the profile directory at start and writes it back.

#include "profile/profile_file.h"
#include "profile/profile_list.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Who loads: the program that owns the directory (it saves there later) tidies it as it loads;
// a reader alone (the report) changes nothing, since the owner may be saving at that moment.
enum class LoadMode { ReadOnly, Owner };

// Rebuilds `profiles` from "<directory>/*.xml" (directory order); Default created first, bound to
// `firstLocalAddress` (may be empty), when no file held a profile named "Default". One profile
// per name: of several files holding one name, the profile's own file name wins and the others
// are left as they are (a line on stderr names them). As Owner, temporaries a killed save left
// behind are removed first, and a profile found under the file name earlier versions gave it
// is renamed to its own.
// A profile file that held no profile because it could not be read or the parser refused it
// (too large, not well-formed, over a limit), and why.
struct UnreadFile {
    std::filesystem::path file;
    std::string reason;
};
// `unread`, when given, receives the files that could not be loaded, in directory order. As
// Owner, each of them is also named, with its reason, on stderr.
void loadAllProfiles(ProfileList& profiles, const std::filesystem::path& directory, const std::string& firstLocalAddress,
                     LoadMode mode = LoadMode::ReadOnly, std::vector<UnreadFile>* unread = nullptr);
// The profile called `name` as loadAllProfiles would give it, read from the only files that can
// win for that name (its own file name, then the one earlier versions gave it) and no other;
// nothing when neither holds it, and the caller loads the whole directory. Changes nothing.
std::optional<CProfile> loadProfileFromOwnFile(const std::filesystem::path& directory, const std::string& name);
// Writes every profile into `directory` (created when missing), atomically per file; then sets aside
// the file of every name in `removedNames` that no profile in `profiles` carries any more, by renaming
// "<name>.xml" to "<name>.xml.removed" (never deleting). Returns false when any write failed;
// `failures`, when given, then lists every file that failed and why.
bool saveAllProfiles(const ProfileList& profiles, const std::vector<std::string>& removedNames, const std::filesystem::path& directory,
                     SaveFailures* failures = nullptr);

// The profile made when no file holds one named "Default": everything allowed.
CProfile makeDefaultProfile(const std::string& address);
