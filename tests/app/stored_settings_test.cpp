// What the window keeps between runs: the values that read back, the ones refused, and the
// profile it counts at start.
#include "app/stored_settings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(StoredSettings, RoundTripAndRefusedValues)
{
    QTemporaryDir folder;
    const QString file = folder.filePath("velmora.conf");
    const StoredSettings written{1000000000u, 60u, std::string("Caf\xc3\xa9 \x01/x"), QPoint(-20, 300)};
    writeStoredSettings(*openSettings(file), written);
    EXPECT_EQ(readStoredSettings(*openSettings(file)), written);

    // Values the Options dialog never sets read as absent: the window keeps its defaults.
    QSettings raw(file, QSettings::IniFormat);
    for (const auto& [unit, length] : {std::pair{"1024", "35"}, {"abc", "70"}}) {
        raw.setValue("display/unitDivisor", unit);
        raw.setValue("display/historyLength", length);
        raw.setValue("window/position", "nowhere");
        const StoredSettings read = readStoredSettings(raw);
        EXPECT_FALSE(read.unitDivisor || read.historyLength || read.windowPosition) << unit;
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
