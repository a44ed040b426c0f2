#pragma once
// The Profiles page's tooltips: what a name and the filter entry fields take, as the profile
// editing rules (profile/profile_editor.h) decide it.

inline constexpr const char* kProfileNameRules =
    "A profile's name is its file name: it cannot be empty, \".\" or \"..\", or contain \"/\".";
inline constexpr const char* kIpEntryHint =
    "An address or host name; \"*\" stands for any part (192.168.*.*). Put \"-\" in front to deny "
    "it (-192.0.2.7), as the list shows denied entries.";
inline constexpr const char* kPortEntryHint =
    "A port number, 0 for any port. Put \"-\" in front to deny it (-80), as the list shows denied "
    "entries.";
