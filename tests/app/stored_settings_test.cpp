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

    writeStoredSettings(*openSettings(file), {});
    EXPECT_EQ(readStoredSettings(*openSettings(file)), StoredSettings{});

    // Values the Options dialog never sets read as absent: the window keeps its defaults.
    for (const auto& [unit, length] : {std::pair{"1024", "35"}, {"0", "70"}, {"abc", "-10"}}) {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue("display/unitDivisor", unit);
        raw.setValue("display/historyLength", length);
        raw.setValue("window/position", "nowhere");
        raw.sync();
        const StoredSettings read = readStoredSettings(raw);
        EXPECT_FALSE(read.unitDivisor) << unit;
        EXPECT_FALSE(read.historyLength) << length;
        EXPECT_FALSE(read.windowPosition);
    }
}

TEST(StoredSettings, TheCountedProfileIsTheRememberedOneElseDefault)
{
    using Names = std::vector<std::string>;
    struct Case { Names names; std::optional<std::string> wanted; int index; };
    const Case cases[] = {
        {{"Café", "Default", "Work"}, "Work", 2},
        {{"Café", "Default", "Work"}, "Gone", 1},
        {{"Café", "Default", "Work"}, std::nullopt, 1},
        {{"Café", "Work"}, "work", 0}, // names are case-sensitive; without Default, the first
        {{}, "Work", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseProfileIndex(c.names, c.wanted), c.index) << c.wanted.value_or("-");
}
