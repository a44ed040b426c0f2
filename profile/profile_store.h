#pragma once
// Loads the profile list from the profile directory at start and writes it back.

#include "profile/profile_list.h"

#include <filesystem>
#include <string>
#include <vector>

// Rebuilds `profiles` from "<directory>/*.xml" (directory order); Default created first, bound to
// `firstLocalAddress` (may be empty), when no file held a profile named "Default".
void loadAllProfiles(ProfileList& profiles, const std::filesystem::path& directory, const std::string& firstLocalAddress);
// Writes every profile into `directory` (created when missing), atomically per file; then sets aside
// the file of every name in `removedNames` that no profile in `profiles` carries any more, by renaming
// "<name>.xml" to "<name>.xml.removed" (never deleting). Returns false when any write failed.
bool saveAllProfiles(const ProfileList& profiles, const std::vector<std::string>& removedNames, const std::filesystem::path& directory);

// The profile made when no file holds one named "Default": everything allowed.
CProfile makeDefaultProfile(const std::string& address);
