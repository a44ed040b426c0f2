#pragma once
// The rules of the Options dialog's profile editing, without widgets. Every operation names the
// profile it works on (the first one of that exact name) and takes the profile guard
// exclusively for the time of the read or the change, so the capture threads never see a
// half-made change.

#include "profile/profile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct SharedProfiles;

inline constexpr char kDenyMarker = '-';

// What the page shows for one profile.
struct ProfilePageView {
    std::string ip;
    double totalBytes = 0; // everything the profile counted, both directions, all days
    std::vector<std::string> ipEntries;   // patterns, with the deny marker where the filter denies
    std::vector<std::string> portEntries; // ports in decimal, marked the same way
    bool lanChecked = true;               // no deny entry equals the profile's LAN pattern
};

// The deny marker is display only: the stored entry is the text without it.
std::string withoutDenyMarker(const std::string& displayText);
// A port typed by the user: leading number of the text (none reads as 0), refused when negative
// or above 65535.
std::optional<std::uint16_t> parsePortText(const std::string& text);
// A new profile's name must serve as its file name "profiles/<name>.xml": not empty (that
// would be the hidden file ".xml" and a blank entry in every list), not "." or "..", no "/"
// (the Profiles page says so in its tooltip: desktop/view/profile_page_hints.h).
bool isUsableProfileName(const std::string& name);
// A typed name without the blanks around it, which no one sees in a list.
std::string trimmedProfileName(const std::string& name);
// The order of every profile list: by file name, ASCII letters folded, as the store loads them.
bool profileNameBefore(const std::string& a, const std::string& b);

class ProfileEditor {
public:
    using Resolver = std::function<std::string(const std::string&)>;

    enum class Outcome {
        Done,    // changed
        Refused, // the profile refused the change (the page may report it)
        Ignored, // no such profile, or the Default profile's filters: nothing to say
    };
    struct Change {
        Outcome outcome = Outcome::Ignored;
        std::string text; // the list text that was added or is to be deleted
    };
    enum class NewProfile { Added, NameInUse, InvalidName };
    enum class Removal { Removed, DefaultProfile, NoProfile };

    // Runs after a profile was added or removed, with the guard still held exclusively: the
    // owner of the list re-finds what it keeps by position (the counted profile). It must not
    // take the guard.
    using ListChanged = std::function<void()>;

    explicit ProfileEditor(SharedProfiles& profiles, ListChanged onListChanged = {})
        : shared(profiles), listChanged(std::move(onListChanged))
    {
    }

    std::vector<std::string> names() const;
    std::optional<ProfilePageView> view(const std::string& name) const;

    bool setAddress(const std::string& name, const std::string& ip);
    // Tries the text as typed, then as a host name resolved (outside the guard) by `resolve`.
    // A leading deny marker makes it a deny entry (the same for ports); `text` of the change
    // is then marked too.
    Change addIpEntry(const std::string& name, const std::string& text, const Resolver& resolve);
    Change removeIpEntry(const std::string& name, const std::string& displayText);
    Change addPortEntry(const std::string& name, const std::string& text);
    Change removePortEntry(const std::string& name, const std::string& displayText);
    // Checked removes the profile's LAN deny entries, unchecked adds them in front of every
    // other entry, where they decide; an allow entry of the LAN pattern is never touched.
    // `onLinkPrefixes` are the IPv6 prefixes of the interface that holds the bound address
    // ("2001:db8:1::/64"), denied with the LAN ranges. Works on Default too.
    Change setLanSwitch(const std::string& name, bool checked, const std::vector<std::string>& onLinkPrefixes = {});

    // The name is trimmed first; a name equal to an existing one but for case is in use. The
    // profile takes its place in the list's order.
    NewProfile addProfile(const std::string& name, const std::string& ip);
    // Erases the profile and notes its name for the store, which sets its file aside at the
    // next save. Refused for Default. `index` receives the position the profile had.
    Removal removeProfile(const std::string& name, std::size_t* index = nullptr);

private:
    CProfile* find(const std::string& name);
    const CProfile* find(const std::string& name) const;
    CProfile* findEditable(const std::string& name); // null for Default
    bool tryAddIp(const std::string& name, const std::string& pattern, bool allow, Outcome& outcome);

    SharedProfiles& shared;
    ListChanged listChanged;
};
