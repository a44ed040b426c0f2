#pragma once
// Profile files written into a temporary directory and read back, for the tests of the
// layers that read and write them.

#include "profile/profile.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <initializer_list>
#include <string>
#include <tuple>

// A profile named Work with the given (date, download, upload) amounts in its day history.
inline CProfile profileWithDays(std::initializer_list<std::tuple<LocalDate, double, double>> days)
{
    CProfile profile;
    profile.setName("Work");
    for (const auto& [date, down, up] : days) {
        profile.addToDayHistory(static_cast<long long>(down), true, date);
        profile.addToDayHistory(static_cast<long long>(up), false, date);
    }
    return profile;
}

// A profile file around `body`, which stands inside one "Profile" element.
inline std::string profileFileText(const std::string& body)
{
    return "<?xml version=\"1.0\"?>\n<Profiles><Profile>" + body + "</Profile></Profiles>";
}

// Loads `text` from a file in `dir` into a fresh profile; `loaded` tells whether it was accepted.
inline CProfile loadText(const TempDir& dir, const std::string& text, bool* loaded = nullptr)
{
    const std::filesystem::path file = dir / "input.xml";
    writeFile(file, text);
    CProfile profile;
    const bool ok = profile.load(file.string());
    if (loaded)
        *loaded = ok;
    return profile;
}

inline double downOn(const CProfile& profile, int year, int month, int day)
{
    const YearHistory* record = profile.findYear(year);
    return record ? record->days[YearHistory::slotOf(month, day)].down : -1.0;
}

inline double upOn(const CProfile& profile, int year, int month, int day)
{
    const YearHistory* record = profile.findYear(year);
    return record ? record->days[YearHistory::slotOf(month, day)].up : -1.0;
}
