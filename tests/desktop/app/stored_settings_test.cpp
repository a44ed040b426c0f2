// What the window keeps between runs: the values refused, and the profile it counts at start.
#include "desktop/app/stored_settings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The window's test keeps every value between two runs; here, values it must not take.
TEST(StoredSettings, ValuesOptionsNeverSetsReadAsAbsent)
{
    QTemporaryDir folder;
    QSettings raw(folder.filePath("velmora.conf"), QSettings::IniFormat);
    for (const auto& [unit, length] : {std::pair{"1024", "35"}, {"abc", "70"}}) {
        raw.setValue("display/unitDivisor", unit);
        raw.setValue("display/historyLength", length);
        raw.setValue("window/position", "nowhere");
        raw.setValue("history/sizeUnit", length);
        const StoredSettings read = readStoredSettings(raw);
        EXPECT_FALSE(read.unitDivisor || read.historyLength || read.windowPosition || read.historySizeUnit) << unit;
    }
}

TEST(StoredSettings, TheCountedProfileIsTheRememberedOneElseDefault)
{
    struct Case { std::vector<std::string> names; std::optional<std::string> wanted; int index; };
    const Case cases[] = {
        {{"Café", "Default", "Work"}, "Work", 2},
        {{"Café", "Default", "Work"}, "Gone", 1},
        {{"Café", "Work"}, "work", 0}, // names are case-sensitive; without Default, the first
        {{}, "Work", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseProfileIndex(c.names, c.wanted), c.index) << c.wanted.value_or("-");
}
