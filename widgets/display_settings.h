#pragma once
// Display settings: the unit and the graph length of the run. The main window restores them
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
};
