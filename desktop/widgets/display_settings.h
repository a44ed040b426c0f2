#pragma once
// Display settings: the unit, the graph length and the graph's colours of the run. The main window restores them
// from its remembered settings at start and stores them after Options and at the end
// (app/stored_settings.h). The window and the Options dialog write them on the GUI thread; the
// readout code reads them, so both are atomics.

#include <atomic>
#include <cstdint>

struct DisplaySettings {
    static constexpr std::uint32_t kDefaultUnitDivisor = 1000;  // bytes per displayed unit
    static constexpr std::uint32_t kDefaultHistoryLength = 30; // samples in the graph

    std::atomic<std::uint32_t> unitDivisor{kDefaultUnitDivisor};   // 1, 1000, 1000000, 1000000000
    std::atomic<std::uint32_t> historyLength{kDefaultHistoryLength}; // 0 to 60, steps of 10

    // The graph's and the tray icon's colours, 0xRRGGBB; the graph lays them half-transparent.
    static constexpr std::uint32_t kDefaultDownloadColour = 0x00C864;
    static constexpr std::uint32_t kDefaultUploadColour = 0x0064C8;
    std::atomic<std::uint32_t> downloadColour{kDefaultDownloadColour};
    std::atomic<std::uint32_t> uploadColour{kDefaultUploadColour};

    // How many days the usage database keeps hours for (as kDefaultKeepHoursDays of the usage
    // database); --keep-hours, when given, wins over it for the run.
    static constexpr int kDefaultKeepHoursDays = 400;
    static constexpr int kMaxKeepHoursDays = 999999;
    std::atomic<int> keepHoursDays{kDefaultKeepHoursDays};
};
